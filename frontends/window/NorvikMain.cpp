#include "frontends/window/NorvikMain.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QRegularExpression>
#include <QtCore/QTimer>
#include <QtGui/QCloseEvent>
#include <QtGui/QFontDatabase>
#include <QtGui/QFontInfo>
#include <QtGui/QFontMetrics>
#include <QtGui/QKeySequence>
#include <QtGui/QScreen>
#include <QtWidgets/QDialogButtonBox>
#include <QtWidgets/QLayout>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QStyle>

#include <algorithm>
#include <utility>
#include <vector>

#include "frontends/window/TextContrast.h"
#include "platform/ProcessSignals.h"
#include "ui_NorvikMain.h"
#include "update/RevisionPlacement.h"
#include "update/SequenceTexts.h"

namespace {

// The form's size and the list's font at the default font (9 points: 12 pixels at 96 DPI). The
// window keeps these proportions as the font grows, whether the user chose a larger font or the
// screen's scale raised the font's pixels.
constexpr int kFormFontPixels = 12;
constexpr QSize kFormSize(460, 167);
constexpr int kListFontPixels = 13;
constexpr int kFormButtonWidth = 92;

double FontScale(const QWidget& widget)
{
    return static_cast<double>(QFontInfo(widget.font()).pixelSize()) / kFormFontPixels;
}

QSize Scaled(QSize size, double scale) { return {qRound(size.width() * scale), qRound(size.height() * scale)}; }

// The description's colour where it reads on the label's ground; on a dark ground, the lighter
// shade of it that does. The label's palette sets the text colour alone, so that its ground keeps
// following the theme.
void SetTextColour(QWidget* widget, TextColour colour)
{
    const QColor ground = widget->palette().color(QPalette::Window);
    const RgbColour shown = ReadableColour(RgbOf(colour),
                                           {static_cast<uint8_t>(ground.red()), static_cast<uint8_t>(ground.green()),
                                            static_cast<uint8_t>(ground.blue())});
    QPalette textOnly;
    textOnly.setColor(QPalette::WindowText, QColor(shown.red, shown.green, shown.blue));
    widget->setPalette(textOnly);
}

// A label that shows a value is read out by its role and its value ("Present revision: RN05"),
// so that a screen reader says what the number is.
// The timer sets the percent ten times a second: only a change is announced.
void ShowValue(QLabel* label, const QString& role, const QString& value)
{
    label->setText(value);
    const QString name = value.isEmpty() ? role : role + QStringLiteral(": ") + value;
    if (label->accessibleName() != name) label->setAccessibleName(name);
}

// The sentence as a screen reader should say it, which cannot see the revisions laid over it:
// the old revision in the run of spaces, the new one after the end.
QString SentenceWithRevisions(QString sentence, const QString& oldRevision, const QString& newRevision)
{
    static const QRegularExpression gap(QStringLiteral(" {2,}"));
    return sentence.replace(gap, QLatin1Char(' ') + oldRevision + QLatin1Char(' ')) + QLatin1Char(' ') + newRevision;
}

// text with an access key: its own, else one on its first letter that the other key does not
// take. The & is not shown; only the underline under the letter.
QString WithAccessKey(const QString& text, const QKeySequence& taken)
{
    if (!QKeySequence::mnemonic(text).isEmpty()) return text;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!text[i].isLetterOrNumber()) continue;
        QString marked = text;
        marked.insert(i, QLatin1Char('&'));
        if (QKeySequence::mnemonic(marked) != taken) return marked;
    }
    return text;
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

QFont ListFontOf(QFont font, int pixels)
{
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPixelSize(pixels);
    return font;
}

QFont SystemFixedListFont(int pixels)
{
    return ListFontOf(QFontDatabase::systemFont(QFontDatabase::FixedFont), pixels);
}

// In order of preference: Courier New, the system's fixed font, known monospaced families, then
// every family the font database reports as fixed pitch.
std::vector<QFont> ListFontCandidates(int pixels)
{
    std::vector<QFont> candidates = {ListFontOf(QFont(QStringLiteral("Courier New")), pixels),
                                     SystemFixedListFont(pixels)};
    const QStringList installed = QFontDatabase::families();
    for (const char* known :
         {"DejaVu Sans Mono", "Liberation Mono", "Noto Mono", "Noto Sans Mono", "Nimbus Mono PS", "FreeMono"})
        if (installed.contains(QLatin1String(known), Qt::CaseInsensitive))
            candidates.push_back(ListFontOf(QFont(QLatin1String(known)), pixels));
    for (const QString& family : installed)
        if (QFontDatabase::isFixedPitch(family)) candidates.push_back(ListFontOf(QFont(family), pixels));
    return candidates;
}

// The first candidate that shows fixed pitch and resolves to a font flagged fixed pitch, else the
// first that shows it (some monospaced families lack the flag), each judged by the font it
// resolves to; else the system's fixed font, the best there is. The list's columns line up only
// in a fixed-pitch font.
QFont DriveListFont(int pixels)
{
    const std::vector<QFont> candidates = ListFontCandidates(pixels);
    const auto flagged = std::find_if(candidates.begin(), candidates.end(), [](const QFont& font) {
        return QFontInfo(font).fixedPitch() && ShowsFixedPitch(font);
    });
    if (flagged != candidates.end()) return *flagged;
    const auto shown = std::find_if(candidates.begin(), candidates.end(), ShowsFixedPitch);
    return shown != candidates.end() ? *shown : SystemFixedListFont(pixels);
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

// What the form cannot say: colours, the list's font, the size, the timer, the buttons' glyphs.
void TNorvikMain::SetUpControls()
{
    setWindowIcon(style()->standardIcon(QStyle::SP_DriveCDIcon));
    // Revisions and other texts come from the drives and the package: nothing in them is markup.
    for (QLabel* label : findChildren<QLabel*>()) label->setTextFormat(Qt::PlainText);
    statusRole = ui->lblMsg->accessibleName();
    percentRole = ui->lblPercent->accessibleName();
    newRevisionRole = ui->lblNewFW->accessibleName();
    oldRevisionRole = ui->lblOldFW->accessibleName();
    ApplyTextColours();
    // Above the sentence they are placed in, wherever the layout puts it.
    ui->lblOldFW->raise();
    ui->lblNewFW->raise();
    ui->lblUpdateMsg->installEventFilter(this);

    tmr->setObjectName(QStringLiteral("tmr"));
    tmr->setInterval(UpdateSequence::kTimerIntervalMs);
    SetUpButtons();
    FitToFont();
}

// The description's colours, each checked against its label's ground in the present palette.
void TNorvikMain::ApplyTextColours()
{
    for (QLabel* label : {ui->lblPercent, ui->lblNewFW, ui->lblOldFW}) SetTextColour(label, TextColour::Navy);
    SetTextColour(ui->lblMsg, statusColour);
    SetTextColour(ui->lblUpdateMsg, sentenceColour);
}

// The list's font and the window's size follow the window's font: the form's proportions at
// the default font, and never smaller than what the layout needs to show every control.
void TNorvikMain::FitToFont()
{
    const double scale = FontScale(*this);
    ui->cboDrives->setFont(DriveListFont(qRound(kListFontPixels * scale)));
    for (QPushButton* button : {ui->cmdUpdate, ui->cmdClose}) button->setMinimumWidth(qRound(kFormButtonWidth * scale));
    layout()->activate();
    setFixedSize(Scaled(kFormSize, scale).expandedTo(layout()->minimumSize()));
    PlaceRevisions();
}

// The revision labels follow the sentence wherever the layout moves it.
bool TNorvikMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->lblUpdateMsg && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        PlaceRevisions();
    return QWidget::eventFilter(watched, event);
}

// A theme switched while the window is open changes the ground; a new font, the size.
void TNorvikMain::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (ui == nullptr || ui->lblMsg == nullptr) return;  // not made from its form yet
    // The labels take the new palette after the window: their colours are checked once they have.
    if (event->type() == QEvent::PaletteChange)
        QMetaObject::invokeMethod(this, &TNorvikMain::ApplyTextColours, Qt::QueuedConnection);
    if (event->type() == QEvent::FontChange) FitToFont();
}

// Update carries a glyph; Close is the toolkit's own close button: the caption and glyph of a
// dialog's standard Close button, or the style's close glyph where dialog buttons have none.
void TNorvikMain::SetUpButtons()
{
    ui->cmdUpdate->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    QDialogButtonBox standard(QDialogButtonBox::Close);
    const QPushButton* close = standard.button(QDialogButtonBox::Close);
    ui->cmdClose->setText(WithAccessKey(close->text(), QKeySequence::mnemonic(ui->cmdUpdate->text())));
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
    ShowValue(ui->lblMsg, statusRole, FromView(text));
    ui->lblMsg->repaint();
}

void TNorvikMain::SetStatusColour(TextColour colour)
{
    statusColour = colour;
    SetTextColour(ui->lblMsg, colour);
}

void TNorvikMain::SetPercent(std::string_view text) { ShowValue(ui->lblPercent, percentRole, FromView(text)); }

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
    ui->lblUpdateMsg->setAccessibleName(QString());  // read as shown until revisions fill its gap
    sentenceColour = colour;
    SetTextColour(ui->lblUpdateMsg, colour);
}

void TNorvikMain::ShowRevisions(std::string_view newRevision, std::string_view oldRevision)
{
    ShowValue(ui->lblNewFW, newRevisionRole, FromView(newRevision));
    ShowValue(ui->lblOldFW, oldRevisionRole, FromView(oldRevision));
    ui->lblUpdateMsg->setAccessibleName(
        SentenceWithRevisions(ui->lblUpdateMsg->text(), ui->lblOldFW->text(), ui->lblNewFW->text()));
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
