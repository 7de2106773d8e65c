#include "frontends/window/NorvikMain.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QTimer>
#include <QtGui/QCloseEvent>
#include <QtGui/QFontDatabase>
#include <QtGui/QFontInfo>
#include <QtGui/QFontMetrics>
#include <QtGui/QScreen>
#include <QtWidgets/QDialogButtonBox>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QStyle>

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/ProcessSignals.h"
#include "ui_NorvikMain.h"
#include "update/RevisionPlacement.h"
#include "update/SequenceTexts.h"

namespace {

constexpr int kListFontPixels = 13;

QColor ColourOf(TextColour colour)
{
    const RgbColour rgb = RgbOf(colour);
    return QColor(rgb.red, rgb.green, rgb.blue);
}

void SetTextColour(QWidget* widget, TextColour colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, ColourOf(colour));
    widget->setPalette(palette);
}

QString FromView(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// Whether every printable ASCII character, of which drive entries are made, takes the same
// advance in the font as it is resolved: what the list's columns need. The resolved font is
// measured because fontconfig's spacing flag misleads both ways: some monospaced families lack
// it, and some families that carry it have no Latin glyphs and borrow proportional ones.
bool ShowsFixedPitch(const QFont& font)
{
    const QFontMetrics metrics(font);
    const int advance = metrics.horizontalAdvance(QLatin1Char(' '));
    for (char16_t character = u'!'; character <= u'~'; ++character)
        if (metrics.horizontalAdvance(QChar(character)) != advance) return false;
    return advance > 0;
}

QFont ListFontOf(QFont font)
{
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPixelSize(kListFontPixels);
    return font;
}

QFont SystemFixedListFont() { return ListFontOf(QFontDatabase::systemFont(QFontDatabase::FixedFont)); }

// In order of preference: Courier New, the system's fixed font, known monospaced families, then
// every family the font database reports as fixed pitch.
std::vector<QFont> ListFontCandidates()
{
    std::vector<QFont> candidates = {ListFontOf(QFont(QStringLiteral("Courier New"))), SystemFixedListFont()};
    const QStringList installed = QFontDatabase::families();
    for (const char* known :
         {"DejaVu Sans Mono", "Liberation Mono", "Noto Mono", "Noto Sans Mono", "Nimbus Mono PS", "FreeMono"})
        if (installed.contains(QLatin1String(known), Qt::CaseInsensitive))
            candidates.push_back(ListFontOf(QFont(QLatin1String(known))));
    for (const QString& family : installed)
        if (QFontDatabase::isFixedPitch(family)) candidates.push_back(ListFontOf(QFont(family)));
    return candidates;
}

// The first candidate that shows fixed pitch and resolves to a font flagged fixed pitch, else the
// first that shows it (some monospaced families lack the flag), each judged by the font it
// resolves to; else the system's fixed font, the best there is. At 13 pixels: the list's columns
// line up only in a fixed-pitch font.
QFont DriveListFont()
{
    const std::vector<QFont> candidates = ListFontCandidates();
    const auto flagged = std::find_if(candidates.begin(), candidates.end(), [](const QFont& font) {
        return QFontInfo(font).fixedPitch() && ShowsFixedPitch(font);
    });
    if (flagged != candidates.end()) return *flagged;
    const auto shown = std::find_if(candidates.begin(), candidates.end(), ShowsFixedPitch);
    return shown != candidates.end() ? *shown : SystemFixedListFont();
}

}  // namespace

TNorvikMain::TNorvikMain(platform::System& system, const uint8_t* packageBlock, MadeUpProfiles madeUpProfiles,
                         MessageBoxes* messageBoxes, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      ui(std::make_unique<Ui::NorvikMain>()),
      tmr(new QTimer(this)),
      boxes(messageBoxes != nullptr ? *messageBoxes : standardBoxes),
      sequence(system, packageBlock, *this, workerThreads, madeUpProfiles)
{
    ui->setupUi(this);
    SetUpControls();
    ConnectHandlers();
    CentreOnScreen();
    sequence.StartUp();
}

TNorvikMain::~TNorvikMain() { FormDestroy(); }

// What the form cannot say: colours, the list's font, the timer, the buttons' standard glyphs.
void TNorvikMain::SetUpControls()
{
    setFixedSize(size());
    setWindowIcon(style()->standardIcon(QStyle::SP_DriveCDIcon));
    ui->cboDrives->setFont(DriveListFont());
    // Revisions and other texts come from the drives and the package: nothing in them is markup.
    for (QLabel* label : findChildren<QLabel*>()) label->setTextFormat(Qt::PlainText);
    for (QLabel* label : {ui->lblMsg, ui->lblPercent, ui->lblNewFW, ui->lblOldFW})
        SetTextColour(label, TextColour::Navy);
    SetTextColour(ui->lblUpdateMsg, TextColour::Black);
    // Above the sentence they are placed in.
    ui->lblOldFW->raise();
    ui->lblNewFW->raise();
    PlaceRevisions();

    tmr->setObjectName(QStringLiteral("tmr"));
    tmr->setInterval(UpdateSequence::kTimerIntervalMs);
    SetUpButtons();
}

// Update carries a glyph; Close is the toolkit's own close button: the caption and glyph of a
// dialog's standard Close button, or the style's close glyph where dialog buttons have none.
void TNorvikMain::SetUpButtons()
{
    ui->cmdUpdate->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    QDialogButtonBox standard(QDialogButtonBox::Close);
    const QPushButton* close = standard.button(QDialogButtonBox::Close);
    ui->cmdClose->setText(close->text());
    const QIcon closeIcon = close->icon();
    ui->cmdClose->setIcon(closeIcon.isNull() ? style()->standardIcon(QStyle::SP_DialogCloseButton) : closeIcon);
    ui->cmdUpdate->setDefault(true);
}

// Only the user's choice in the list counts as a change: the sequence's own selections do not.
void TNorvikMain::ConnectHandlers()
{
    connect(ui->cboDrives, &QComboBox::activated, this, &TNorvikMain::cboDrivesChange);
    connect(ui->cmdUpdate, &QPushButton::clicked, this, &TNorvikMain::cmdUpdateClick);
    connect(ui->cmdClose, &QPushButton::clicked, this, &TNorvikMain::cmdCloseClick);
    connect(tmr, &QTimer::timeout, this, &TNorvikMain::tmrTimer);
}

// The client area is centred: the frame that the window manager adds is not known before the
// window is shown.
void TNorvikMain::CentreOnScreen()
{
    const QScreen* shownOn = screen();
    if (shownOn == nullptr) return;
    setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), shownOn->availableGeometry()));
}

// The sentence's pieces, as the user's language has them, and the revisions measured in the fonts
// actually in use, placed as every window places them (update/RevisionPlacement.h).
void TNorvikMain::PlaceRevisions()
{
    const QFontMetrics sentence(ui->lblUpdateMsg->font());
    const QFontMetrics revision(ui->lblOldFW->font());
    const QString shown = FromView(Translated(texts::kWillBeUpdated));
    const RevisionWidths widths = {sentence.horizontalAdvance(shown.left(shown.indexOf(QLatin1String("  ")))),
                                   sentence.horizontalAdvance(shown.left(shown.lastIndexOf(QLatin1Char(' ')) + 1)),
                                   sentence.horizontalAdvance(shown + QLatin1Char(' ')),
                                   revision.horizontalAdvance(ui->lblOldFW->text()),
                                   revision.horizontalAdvance(ui->lblNewFW->text())};
    const QRect line = ui->lblUpdateMsg->geometry();
    const RevisionPlaces places = ::PlaceRevisions(widths, {line.left(), line.top(), line.width(), line.height()},
                                                   width());
    for (const auto& [label, place] :
         {std::pair{ui->lblOldFW, places.oldRevision}, std::pair{ui->lblNewFW, places.newRevision}})
        label->setGeometry(place.left, place.top, place.width, place.height);
}

MessageAnswer TNorvikMain::ShowMessage(MessageKind kind, std::string_view title, std::string_view text,
                                       MessageButtons buttons)
{
    return boxes.Ask(this, kind, title, text, buttons);
}

void TNorvikMain::SetCaption(std::string_view caption) { setWindowTitle(FromView(caption)); }

// Drawn at once: the sequence may hold this thread in a long wait right after a new status.
void TNorvikMain::SetStatus(std::string_view text)
{
    ui->lblMsg->setText(FromView(text));
    ui->lblMsg->repaint();
}

void TNorvikMain::SetStatusColour(TextColour colour) { SetTextColour(ui->lblMsg, colour); }

void TNorvikMain::SetPercent(std::string_view text) { ui->lblPercent->setText(FromView(text)); }

void TNorvikMain::SetProgress(int position, int maximum)
{
    ui->pbar->setRange(0, maximum);
    ui->pbar->setValue(position);
}

void TNorvikMain::ClearDriveList() { ui->cboDrives->clear(); }

void TNorvikMain::AddDriveEntry(std::string_view entry) { ui->cboDrives->addItem(FromView(entry)); }

void TNorvikMain::SelectDriveEntry(int index) { ui->cboDrives->setCurrentIndex(index); }

int TNorvikMain::SelectedDriveEntry() const { return ui->cboDrives->currentIndex(); }

void TNorvikMain::ShowUpdateSentence(std::string_view text, TextColour colour)
{
    ui->lblUpdateMsg->setText(FromView(text));
    SetTextColour(ui->lblUpdateMsg, colour);
}

void TNorvikMain::ShowRevisions(std::string_view newRevision, std::string_view oldRevision)
{
    ui->lblNewFW->setText(FromView(newRevision));
    ui->lblOldFW->setText(FromView(oldRevision));
    PlaceRevisions();
    ui->lblNewFW->show();
    ui->lblOldFW->show();
}

void TNorvikMain::HideRevisions()
{
    ui->lblNewFW->hide();
    ui->lblOldFW->hide();
}

void TNorvikMain::SetUpdateEnabled(bool enabled) { ui->cmdUpdate->setEnabled(enabled); }

void TNorvikMain::SetCloseEnabled(bool enabled) { ui->cmdClose->setEnabled(enabled); }

void TNorvikMain::SetProgressTimer(bool running)
{
    if (running)
        tmr->start();
    else
        tmr->stop();
}

void TNorvikMain::ProcessPendingMessages() { QCoreApplication::processEvents(); }

// A signal held off while drives were written ends the program now that the outcome has been
// answered: the window closes, and the program's entry acts on the signal.
void TNorvikMain::FlashUnderway(bool underway)
{
    platform::HoldSignals(underway);
    if (stopPolicy.FlashUnderway(underway, platform::HeldSignal() != 0)) Terminate();
}

bool TNorvikMain::StopRequested() const { return stopPolicy.StopRequested(platform::HeldSignal() != 0); }

// Queued, so that it also works from inside the constructor: the event loop ends as soon as it
// runs. From now on the window may close.
void TNorvikMain::Terminate()
{
    terminationRequested = true;
    QMetaObject::invokeMethod(QCoreApplication::instance(), "quit", Qt::QueuedConnection);
}

std::string_view TNorvikMain::Translated(std::string_view source) const { return translatedTexts.Translated(source); }

void TNorvikMain::cboDrivesChange() { sequence.cboDrivesChange(); }

void TNorvikMain::cmdUpdateClick() { sequence.cmdUpdateClick(); }

void TNorvikMain::cmdCloseClick() { sequence.cmdCloseClick(); }

void TNorvikMain::tmrTimer() { sequence.tmrTimer(); }

void TNorvikMain::FormDestroy() { sequence.FormDestroy(); }

// Closing from the title bar or the window manager would end the program behind the sequence's
// back, in the middle of an update as well: only cmdClose and the sequence's end close it.
void TNorvikMain::closeEvent(QCloseEvent* event)
{
    if (terminationRequested)
        event->accept();
    else
        event->ignore();
}
