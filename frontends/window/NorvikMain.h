#pragma once
// The program's window, made from its form (NorvikMain.ui): the drive list, the sentence with
// the two revisions, the progress area and the Update and Close buttons. It shows what the
// start-up and update sequence says (UpdateView) and hands the sequence the user's events; the
// sequence decides everything. The constructor runs the whole start-up, so the update may be
// under way, or the application told to terminate, before the window is first shown.
//
// The form is laid out by layouts: the window keeps the form's proportions at the default font
// and grows with a larger one. Every control carries an accessible name and description; the
// labels that show a value are named by their role and value. The navy, maroon and black texts
// take a lighter shade of themselves where the theme's ground is too dark for them
// (TextContrast.h).
//
// The window closes only through cmdClose (or when the application is told to terminate): its
// title bar has no close button, and a close request from the window manager is ignored. A
// signal held off while drives were written closes it once the outcome has been answered; the
// program then acts on the signal (platform/ProcessSignals.h).

#include <QtCore/QString>
#include <QtWidgets/QWidget>

#include <cstdint>
#include <memory>

#include "frontends/translation/TranslatedTexts.h"
#include "frontends/window/MessageBoxes.h"
#include "frontends/window/QtWorkerThreads.h"
#include "platform/System.h"
#include "update/StopRequestPolicy.h"
#include "update/UpdateSequence.h"
#include "update/UpdateView.h"

class QCloseEvent;
class QLabel;
class QTimer;

namespace Ui {
class NorvikMain;
}

class TNorvikMain : public QWidget, public UpdateView {
    Q_OBJECT

public:
    // packageBlock: payload::kPackageSize bytes that outlive the window. madeUpProfiles: whether
    // the system's drives may be sent made-up flash profiles. messageBoxes answers the message
    // boxes (null: Qt's standard boxes); it must outlive the window.
    TNorvikMain(platform::System& system, const uint8_t* packageBlock, MadeUpProfiles madeUpProfiles,
                MessageBoxes* messageBoxes = nullptr, QWidget* parent = nullptr);
    ~TNorvikMain() override;

    // Whether the application has been told to terminate (also before its event loop runs).
    bool TerminationRequested() const { return terminationRequested; }
    const UpdateSequence& Sequence() const { return sequence; }
    // The package's identity for the journal's records (its file's SHA-256 in hex).
    void SetPackageIdentity(std::string_view sha256Hex) { sequence.SetPackageIdentity(sha256Hex); }

    // UpdateView
    MessageAnswer ShowMessage(MessageKind kind, std::string_view title, std::string_view text,
                              MessageButtons buttons) override;
    void SetCaption(std::string_view caption) override;
    void SetStatus(std::string_view text) override;
    void SetStatusColour(TextColour colour) override;
    void SetPercent(std::string_view text) override;
    void SetProgress(int position, int maximum) override;
    void ClearDriveList() override;
    void AddDriveEntry(std::string_view entry) override;
    void SelectDriveEntry(int index) override;
    int SelectedDriveEntry() const override;
    void ShowUpdateSentence(std::string_view text, TextColour colour) override;
    void ShowRevisions(std::string_view newRevision, std::string_view oldRevision) override;
    void HideRevisions() override;
    void SetUpdateEnabled(bool enabled) override;
    void SetCloseEnabled(bool enabled) override;
    void SetProgressTimer(bool running) override;
    void ProcessPendingMessages() override;
    void FlashUnderway(bool underway) override;
    bool StopRequested() const override;
    void Terminate() override;
    std::string_view Translated(std::string_view source) const override;

public slots:
    void cboDrivesChange();
    void cmdUpdateClick();
    void cmdCloseClick();
    void tmrTimer();
    void FormDestroy();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetUpControls();
    void ApplyTextColours();
    void FitToFont();
    void SetUpButtons();
    void ConnectHandlers();
    void CentreOnScreen();
    void PlaceRevisions();

    std::unique_ptr<Ui::NorvikMain> ui;
    QTimer* tmr;
    StandardMessageBoxes standardBoxes;
    MessageBoxes& boxes;
    bool terminationRequested = false;
    TextColour statusColour = TextColour::Navy;
    TextColour sentenceColour = TextColour::Black;
    // The accessible names of the labels that show a value, as the form gives them.
    QString statusRole;
    QString percentRole;
    QString newRevisionRole;
    QString oldRevisionRole;
    StopRequestPolicy stopPolicy;
    // The sequence's texts in the language of the translators installed in the application.
    translation::TranslatedTexts translatedTexts;
    QtWorkerThreads workerThreads;
    UpdateSequence sequence;  // last: uses the view and the threads, and goes first when the window goes
};
