// The window: its form, and what its widgets show of the start-up and update sequence, on the
// virtual system and its virtual clock, with message boxes answered by script and checked word
// for word.

#include <QtCore/QDeadlineTimer>
#include <QtCore/QElapsedTimer>
#include <QtCore/QThread>
#include <QtCore/QTimer>
#include <QtGui/QAccessible>
#include <QtGui/QFontDatabase>
#include <QtGui/QFontInfo>
#include <QtGui/QFontMetrics>
#include <QtGui/QScreen>
#include <QtGui/QWindow>
#include <QtTest/QtTest>
#include <QtWidgets/QApplication>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QDialogButtonBox>
#include <QtWidgets/QFrame>
#include <QtWidgets/QLabel>
#include <QtWidgets/QMessageBox>
#include <QtWidgets/QProgressBar>
#include <QtWidgets/QPushButton>

#include <cstring>
#include <memory>

#include "ScriptedBoxes.h"
#include "frontends/window/NorvikMain.h"
#include "frontends/window/TextContrast.h"
#include "package/PackageReader.h"
#include "payload/PackageBlock.h"
#include "payload/PackageLayout.h"
#include "sim/VirtualSystem.h"
#include "ui_NorvikMain.h"

using windowtest::ScriptedBoxes;
using windowtest::ShownBox;

Q_DECLARE_METATYPE(MessageKind)
Q_DECLARE_METATYPE(MessageButtons)
Q_DECLARE_METATYPE(MessageAnswer)
Q_DECLARE_METATYPE(SequenceOutcome)
Q_DECLARE_METATYPE(TextColour)

namespace {

const QColor kNavy(0, 0, 128);
const QColor kMaroon(128, 0, 0);
const QColor kBlack(0, 0, 0);

const QString kSentence = QStringLiteral("It will be updated from             to");
const QString kNotAllowed = QStringLiteral("This drive is not allowed to be updated.");
const QString kUpdated = QStringLiteral("Firmware has been updated successfully !");
const QString kUpdateFailed = QStringLiteral("Unable to flash firmware. Please contact with your vendor !");
const QString kNoMatchHead = QStringLiteral(
    "No matched drive detected !\n"
    "This utility is only for TALVORE DVDRW KRX-407T drive.\n\n"
    "Detected drives :\n");
const QString kNotice = QStringLiteral(
    "This flash utility only supports TALVORE DVDRW KRX-407T drive.\n\n"
    "NOTICE : \n\n"
    "1> Please REMOVE disc and close all applications before running this utility !\n"
    "2> Don't turn off the system while flash is in progress. \n"
    "\nDo you wish to continue ?");
const QString kAlreadyCurrent = QStringLiteral(
    "Your drive's Firmware is already the most updated !\n Do you wish to continue ?");
const QString kRemoveDisc = QStringLiteral("Please remove the disc.");
const QString kDiscLocked = QStringLiteral(
    "Disc detected in drive. Unable to eject the disc , maybe locked by other program\n\n"
    "Please remove the disc manually.");
const QString kPushTrayIn = QStringLiteral("Please push the tray in.");

constexpr uint8_t kWriteBuffer = 0x3B;
// A message box test's way of leaving a box with the Escape key.
constexpr int kEscape = -1;

// The entry of a virtual drive of the package's model at the automatic address of drive n.
QString TalvoreEntry(int target, const char* revision)
{
    return QStringLiteral(" 0-0-%1-0 sr%1TALVORE DVDRW KRX-407T   %2").arg(target).arg(QLatin1String(revision));
}

// Whether every character of text takes the same advance in font; names the first that does not.
bool EvenAdvances(const QFont& font, const QString& text, QString* uneven = nullptr)
{
    const QFontMetrics metrics(font);
    for (const QChar character : text) {
        if (metrics.horizontalAdvance(character) == metrics.horizontalAdvance(text.front())) continue;
        if (uneven != nullptr) *uneven = character;
        return false;
    }
    return true;
}

// What this machine's font families offer for text at a size: some family that shows it in
// fixed pitch, and some that does and is also flagged fixed pitch. A family that resolves to no
// font file (what Qt makes up where fontconfig has no fonts) shows nothing.
struct FixedPitchOffer {
    bool shown = false;
    bool flagged = false;
};

FixedPitchOffer FixedPitchOnThisMachine(const QString& text, int pixels)
{
    FixedPitchOffer offer;
    for (const QString& family : QFontDatabase::families()) {
        QFont font(family);
        font.setPixelSize(pixels);
        if (QFontInfo(font).family().isEmpty() || !EvenAdvances(font, text)) continue;
        offer.shown = true;
        offer.flagged = QFontInfo(font).fixedPitch();
        if (offer.flagged) break;
    }
    return offer;
}

RgbColour RgbOfColor(const QColor& colour)
{
    return {static_cast<uint8_t>(colour.red()), static_cast<uint8_t>(colour.green()),
            static_cast<uint8_t>(colour.blue())};
}

int CountOpcode(const sim::VirtualDrive& drive, uint8_t opcode)
{
    const std::string prefix = QStringLiteral("%1").arg(opcode, 2, 16, QLatin1Char('0')).toUpper().toStdString();
    int count = 0;
    for (const std::string& line : drive.trace()) count += line.compare(0, 2, prefix) == 0 ? 1 : 0;
    return count;
}

}  // namespace

class NorvikMainTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void formHoldsTheControlsAsDesigned();
    void windowAtRestShowsTheSelectedDrive();
    void driveListShowsEntriesInFixedPitch();
    void revisionLabelsSitInTheSentence();
    void windowGrowsWithTheFont_data();
    void windowGrowsWithTheFont();
    void controlsAreNamedForAssistiveTechnology();
    void readableColourRule_data();
    void readableColourRule();
    void textsStayReadableOnADarkTheme();
    void labelsShowTheirTextsAsPlainText();
    void startUpRefusals_data();
    void startUpRefusals();
    void terminationAskedInTheConstructorEndsTheEventLoop();
    void selectionSwitchesTheVerdict_data();
    void selectionSwitchesTheVerdict();
    void manualUpdateEndsInDoneWithTheNewRevision();
    void closeOnlyThroughTheCloseButton();
    void alreadyCurrentQuestion_data();
    void alreadyCurrentQuestion();
    void discAndTrayCheck_data();
    void discAndTrayCheck();
    void automaticModeWithTwoDrivesAndOneFailing();
    void endsAfterSuccess_data();
    void endsAfterSuccess();
    void progressTexts_data();
    void progressTexts();
    void standardMessageBoxes_data();
    void standardMessageBoxes();

private:
    void Set(SettingKey key, char digit);
    sim::VirtualDrive& AddDrive(const char* text = "");
    TNorvikMain& MakeWindow();
    bool UpdateUnderway() const;
    bool RunUntilUpdateOver();
    template <typename Condition>
    static bool PumpUntil(Condition condition);
    void Choose(int entry);
    void Tick();
    void VerifyUpdatableShown(const char* newRevision, const char* oldRevision);
    void VerifyRefusedShown();
    void VerifyRevisionsInSentence();

    template <typename Widget>
    Widget* Control(const char* name) const
    {
        auto* widget = window->findChild<Widget*>(QLatin1String(name));
        if (widget == nullptr) qFatal("control %s missing", name);
        return widget;
    }
    QLabel* Label(const char* name) const { return Control<QLabel>(name); }
    QPushButton* Button(const char* name) const { return Control<QPushButton>(name); }
    QComboBox* List() const { return Control<QComboBox>("cboDrives"); }
    QProgressBar* Bar() const { return Control<QProgressBar>("pbar"); }
    QTimer* Timer() const { return Control<QTimer>("tmr"); }
    static QColor TextColour(const QWidget* widget) { return widget->palette().color(QPalette::WindowText); }
    QStringList Entries() const;

    std::unique_ptr<payload::PackageBlock> block;
    std::unique_ptr<sim::VirtualSystem> system;
    std::unique_ptr<ScriptedBoxes> boxes;
    std::unique_ptr<TNorvikMain> window;
};

// Every test starts from the program's own package with a synthetic firmware packed in, without
// the notice and the restart, on a virtual system without drives.
void NorvikMainTest::init()
{
    block = std::make_unique<payload::PackageBlock>();
    std::memcpy(block.get(), payload::OwnPackageBlock(), payload::kPackageSize);
    for (std::size_t i = 0; i < payload::kImageAreaSize; ++i)
        block->imageArea[i] = static_cast<uint8_t>((i * 131 + (i >> 12) + 7) & 0xFF);
    Set(SettingKey::WARNING, '0');
    Set(SettingKey::REBOOT, '0');
    system = std::make_unique<sim::VirtualSystem>();
    boxes = std::make_unique<ScriptedBoxes>();
}

// A worker deletes itself through this thread's event loop once its end was handled; a queued
// quit of an ended window does nothing outside an event loop.
void NorvikMainTest::cleanup()
{
    window.reset();
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    boxes.reset();
    system.reset();
    block.reset();
}

void NorvikMainTest::Set(SettingKey key, char digit)
{
    const payload::EntryLocation& entry = payload::kConfigurationEntries[static_cast<int>(key)];
    reinterpret_cast<uint8_t*>(block.get())[entry.offset + entry.key.size()] = static_cast<uint8_t>(digit);
}

sim::VirtualDrive& NorvikMainTest::AddDrive(const char* text)
{
    std::string reason;
    sim::VirtualDrive* drive = system->AddDrive(text, reason);
    if (drive == nullptr) qFatal("drive \"%s\": %s", text, reason.c_str());
    return *drive;
}

TNorvikMain& NorvikMainTest::MakeWindow()
{
    window = std::make_unique<TNorvikMain>(*system, reinterpret_cast<const uint8_t*>(block.get()),
                                           MadeUpProfiles::Allowed, boxes.get());
    return *window;
}

bool NorvikMainTest::UpdateUnderway() const
{
    const UpdateSequence::Phase phase = window->Sequence().CurrentPhase();
    return phase == UpdateSequence::Phase::Preparing || phase == UpdateSequence::Phase::Programming ||
           phase == UpdateSequence::Phase::Finishing;
}

// Runs this thread's events, through which the workers' ends arrive, until the update is over.
bool NorvikMainTest::RunUntilUpdateOver()
{
    return PumpUntil([this] { return !UpdateUnderway(); });
}

template <typename Condition>
bool NorvikMainTest::PumpUntil(Condition condition)
{
    QDeadlineTimer deadline(60000);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

// The user's choice: the arrow keys on the list, which activate the entry they move to.
void NorvikMainTest::Choose(int entry)
{
    QComboBox* list = List();
    while (list->currentIndex() < entry) QTest::keyClick(list, Qt::Key_Down);
    while (list->currentIndex() > entry) QTest::keyClick(list, Qt::Key_Up);
}

// One tick of tmr, delivered to the timer itself, so that its connection to tmrTimer is used.
void NorvikMainTest::Tick()
{
    QTimerEvent tick(Timer()->timerId());
    QCoreApplication::sendEvent(Timer(), &tick);
}

QStringList NorvikMainTest::Entries() const
{
    QStringList entries;
    for (int i = 0; i < List()->count(); ++i) entries << List()->itemText(i);
    return entries;
}

void NorvikMainTest::VerifyUpdatableShown(const char* newRevision, const char* oldRevision)
{
    QCOMPARE(Label("lblUpdateMsg")->text(), kSentence);
    QCOMPARE(TextColour(Label("lblUpdateMsg")), kBlack);
    QVERIFY(Label("lblNewFW")->isVisible());
    QVERIFY(Label("lblOldFW")->isVisible());
    QCOMPARE(Label("lblNewFW")->text(), QLatin1String(newRevision));
    QCOMPARE(Label("lblOldFW")->text(), QLatin1String(oldRevision));
    QVERIFY(Button("cmdUpdate")->isEnabled());
}

void NorvikMainTest::VerifyRefusedShown()
{
    QCOMPARE(Label("lblUpdateMsg")->text(), kNotAllowed);
    QCOMPARE(TextColour(Label("lblUpdateMsg")), kMaroon);
    QVERIFY(!Label("lblNewFW")->isVisible());
    QVERIFY(!Label("lblOldFW")->isVisible());
    QVERIFY(!Button("cmdUpdate")->isEnabled());
}

// The form itself, before any code has touched it.
void NorvikMainTest::formHoldsTheControlsAsDesigned()
{
    QWidget form;
    Ui::NorvikMain ui;
    ui.setupUi(&form);
    QCOMPARE(form.objectName(), QStringLiteral("NorvikMain"));
    QCOMPARE(form.windowTitle(), QStringLiteral("Norvik"));
    QCOMPARE(form.size(), QSize(460, 167));
    QVERIFY(!ui.cboDrives->isEditable());
    QCOMPARE(ui.cboDrives->count(), 0);
    QCOMPARE(ui.pbar->minimum(), 0);
    QCOMPARE(ui.pbar->maximum(), 100);
    QCOMPARE(ui.pbar->value(), 0);
    QCOMPARE(ui.Label1->text(), QStringLiteral("Please select target drive :"));
    QCOMPARE(ui.lblMsg->text(), QStringLiteral("Message"));
    QCOMPARE(ui.lblPercent->text(), QStringLiteral("100%"));
    QCOMPARE(ui.lblNewFW->text(), QStringLiteral("XXXX"));
    QCOMPARE(ui.lblOldFW->text(), QStringLiteral("XXXX"));
    QCOMPARE(ui.lblUpdateMsg->text(), kSentence);
    QCOMPARE(ui.cmdUpdate->text(), QStringLiteral("&Update"));
    for (QLabel* bold : {ui.lblMsg, ui.lblPercent, ui.lblNewFW, ui.lblOldFW}) QVERIFY(bold->font().bold());
    QVERIFY(!ui.lblUpdateMsg->font().bold());
    // The frame encloses the progress area.
    QCOMPARE(ui.pbar->parentWidget(), ui.Bevel1);
    QCOMPARE(ui.lblMsg->parentWidget(), ui.Bevel1);
    QCOMPARE(ui.lblPercent->parentWidget(), ui.Bevel1);
    QVERIFY(ui.Bevel1->frameShape() != QFrame::NoFrame);
}

// Revisions and other texts come from drives and packages: none of them may be read as markup.
void NorvikMainTest::labelsShowTheirTextsAsPlainText()
{
    AddDrive();
    MakeWindow();
    const QList<QLabel*> labels = window->findChildren<QLabel*>();
    QVERIFY(labels.size() >= 6);
    for (const QLabel* label : labels) {
        QCOMPARE(label->textFormat(), Qt::PlainText);
    }
}

void NorvikMainTest::windowAtRestShowsTheSelectedDrive()
{
    AddDrive();
    MakeWindow().show();

    QCOMPARE(window->windowTitle(), QStringLiteral("Flash Program for TALVORE DVDRW KRX-407T"));
    QCOMPARE(window->size(), QSize(460, 167));
    QCOMPARE(window->minimumSize(), window->maximumSize());
    const Qt::WindowFlags flags = window->windowFlags();
    QVERIFY(flags.testFlag(Qt::CustomizeWindowHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowCloseButtonHint));
    const QPoint screenCentre = window->screen()->availableGeometry().center();
    QVERIFY((window->geometry().center() - screenCentre).manhattanLength() <= 2);

    QCOMPARE(Entries(), QStringList{TalvoreEntry(0, "RN05")});
    QCOMPARE(List()->currentIndex(), 0);
    QVERIFY(!List()->isEditable());
    QCOMPARE(List()->font().pixelSize(), 13);

    QCOMPARE(Label("lblMsg")->text(), QString());
    QCOMPARE(Label("lblPercent")->text(), QStringLiteral("0 %"));
    for (const char* navy : {"lblMsg", "lblPercent", "lblNewFW", "lblOldFW"}) {
        QCOMPARE(TextColour(Label(navy)), kNavy);
        QVERIFY(Label(navy)->font().bold());
    }
    QCOMPARE(Bar()->value(), 0);
    QCOMPARE(Bar()->maximum(), 100);
    QCOMPARE(Timer()->interval(), 100);
    QVERIFY(!Timer()->isActive());
    VerifyUpdatableShown("RN08", "RN05");

    QCOMPARE(Button("cmdUpdate")->text(), QStringLiteral("&Update"));
    QVERIFY(!Button("cmdUpdate")->icon().isNull());
    QDialogButtonBox standard(QDialogButtonBox::Close);
    // The access key's & is not part of the caption shown.
    QCOMPARE(QString(Button("cmdClose")->text()).remove(QLatin1Char('&')),
             QString(standard.button(QDialogButtonBox::Close)->text()).remove(QLatin1Char('&')));
    QVERIFY(!Button("cmdClose")->icon().isNull());
    QVERIFY(Button("cmdClose")->isEnabled());
    QVERIFY(boxes->shown.empty());
    QVERIFY(!window->TerminationRequested());
}

// The list's columns line up: every character of a real entry takes the same width, and the font
// is flagged fixed pitch where the machine has such a family (some monospaced ones lack the flag).
void NorvikMainTest::driveListShowsEntriesInFixedPitch()
{
    AddDrive();
    MakeWindow().show();
    const QString entry = TalvoreEntry(0, "RN05");
    QCOMPARE(Entries(), QStringList{entry});

    const FixedPitchOffer offer = FixedPitchOnThisMachine(entry, 13);
    if (!offer.shown) QSKIP("No font family on this machine shows a drive entry in fixed pitch");
    const QFontInfo listFont(List()->font());
    QString uneven;
    QVERIFY2(EvenAdvances(List()->font(), entry, &uneven),
             qPrintable(QStringLiteral("'%1' has its own width in %2").arg(uneven, listFont.family())));
    QVERIFY2(!offer.flagged || listFont.fixedPitch(), qPrintable(listFont.family()));
}

void NorvikMainTest::revisionLabelsSitInTheSentence()
{
    AddDrive();
    MakeWindow().show();
    VerifyRevisionsInSentence();
}

// lblOldFW lies in the run of spaces after "from", lblNewFW right after "to", on the same line.
void NorvikMainTest::VerifyRevisionsInSentence()
{
    const QLabel* sentence = Label("lblUpdateMsg");
    const QFontMetrics metrics(sentence->font());
    const int left = sentence->x();
    const int gapStart = left + metrics.horizontalAdvance(QStringLiteral("It will be updated from"));
    const int gapEnd = left + metrics.horizontalAdvance(QStringLiteral("It will be updated from             "));
    const int toEnd = left + metrics.horizontalAdvance(kSentence);

    const QRect oldRevision = Label("lblOldFW")->geometry();
    const QRect newRevision = Label("lblNewFW")->geometry();
    QVERIFY2(oldRevision.left() >= gapStart && oldRevision.right() < gapEnd,
             qPrintable(QStringLiteral("old %1..%2, gap %3..%4")
                            .arg(oldRevision.left())
                            .arg(oldRevision.right())
                            .arg(gapStart)
                            .arg(gapEnd)));
    QVERIFY(newRevision.left() > toEnd);
    QVERIFY(newRevision.left() - toEnd <= metrics.horizontalAdvance(QLatin1Char(' ')) + 1);
    QCOMPARE(oldRevision.top(), sentence->y());
    QCOMPARE(newRevision.top(), sentence->y());
    QVERIFY(newRevision.right() < window->width());
    const QFontMetrics bold(Label("lblOldFW")->font());
    QVERIFY(oldRevision.width() >= bold.horizontalAdvance(QStringLiteral("RN05")));
    QVERIFY(newRevision.width() >= bold.horizontalAdvance(QStringLiteral("RN08")));
}

// The form's proportions at the default font (12 pixels at 96 DPI), grown with a larger one:
// every control gets at least the room it asks for, and the revisions stay in their sentence.
void NorvikMainTest::windowGrowsWithTheFont_data()
{
    QTest::addColumn<int>("pixels");
    QTest::addColumn<bool>("whileOpen");
    QTest::newRow("default") << 12 << false;
    QTest::newRow("half again") << 18 << false;
    QTest::newRow("double") << 24 << false;
    QTest::newRow("double, chosen while open") << 24 << true;
}

void NorvikMainTest::windowGrowsWithTheFont()
{
    QFETCH(int, pixels);
    QFETCH(bool, whileOpen);
    const QFont original = QApplication::font();
    QFont font = original;
    font.setPixelSize(pixels);
    if (!whileOpen) QApplication::setFont(font);
    AddDrive();
    MakeWindow().show();
    QApplication::setFont(original);
    if (whileOpen) window->setFont(font);

    const double scale = pixels / 12.0;
    QVERIFY(window->width() >= qRound(460 * scale));
    QVERIFY(window->height() >= qRound(167 * scale));
    if (pixels == 12) QCOMPARE(window->size(), QSize(460, 167));
    QCOMPARE(List()->font().pixelSize(), qRound(13 * scale));
    for (const QWidget* control :
         std::initializer_list<const QWidget*>{List(), Bar(), Label("Label1"), Label("lblMsg"), Label("lblPercent"),
                                               Label("lblUpdateMsg"), Button("cmdUpdate"), Button("cmdClose")}) {
        const QRect place(control->mapTo(window.get(), QPoint()), control->size());
        QVERIFY2(control->height() >= control->minimumSizeHint().height() && window->rect().contains(place),
                 qPrintable(control->objectName()));
    }
    VerifyRevisionsInSentence();
}

// What a screen reader reads: every control has a name and a description, the labels that show a
// value name their role and the value, the heading labels the list, and both buttons have
// their own access key.
void NorvikMainTest::controlsAreNamedForAssistiveTechnology()
{
    AddDrive();
    MakeWindow().show();
    const auto accessible = [this](const char* name) {
        QAccessibleInterface* interface = QAccessible::queryAccessibleInterface(Control<QWidget>(name));
        if (interface == nullptr) qFatal("%s has no accessible interface", name);
        return interface;
    };
    for (const char* control : {"cboDrives", "pbar", "lblPercent", "lblMsg", "lblOldFW", "lblNewFW", "lblUpdateMsg",
                                "cmdUpdate", "cmdClose"}) {
        QVERIFY2(!accessible(control)->text(QAccessible::Name).isEmpty(), control);
        QVERIFY2(!accessible(control)->text(QAccessible::Description).isEmpty(), control);
    }
    QCOMPARE(accessible("lblOldFW")->text(QAccessible::Name), QStringLiteral("Present revision: RN05"));
    QCOMPARE(accessible("lblNewFW")->text(QAccessible::Name), QStringLiteral("New revision: RN08"));
    QCOMPARE(accessible("lblPercent")->text(QAccessible::Name), QStringLiteral("Percent done: 0 %"));
    QCOMPARE(accessible("lblMsg")->text(QAccessible::Name), QStringLiteral("Status"));
    QCOMPARE(accessible("lblUpdateMsg")->text(QAccessible::Name),
             QStringLiteral("It will be updated from RN05 to RN08"));

    QCOMPARE(Label("Label1")->buddy(), List());
    const auto labelledBy = accessible("cboDrives")->relations(QAccessible::Label);
    QCOMPARE(labelledBy.size(), 1);
    QCOMPARE(labelledBy.front().first->object(), Label("Label1"));

    const auto keyOf = [&](const char* button) {
        const QStringList keys = accessible(button)->actionInterface()->keyBindingsForAction(
            QAccessibleActionInterface::pressAction());
        return keys.isEmpty() ? QString() : keys.front();
    };
    QCOMPARE(keyOf("cmdUpdate"), QKeySequence(Qt::ALT | Qt::Key_U).toString(QKeySequence::NativeText));
    QVERIFY(!keyOf("cmdClose").isEmpty());
    QVERIFY(keyOf("cmdClose") != keyOf("cmdUpdate"));
}

// A colour that reads on its ground is kept as it is; one that does not becomes the least shade
// of it, towards white or black, that does, and keeps its hue.
void NorvikMainTest::readableColourRule_data()
{
    QTest::addColumn<::TextColour>("wanted");
    QTest::addColumn<QColor>("ground");
    QTest::addColumn<bool>("kept");
    const QColor light(239, 239, 239);
    const QColor dark(49, 54, 59);
    const QColor grey(128, 128, 128);
    for (const auto& [name, colour] : {std::pair{"navy", ::TextColour::Navy}, std::pair{"maroon", ::TextColour::Maroon},
                                       std::pair{"black", ::TextColour::Black}}) {
        QTest::addRow("%s on light", name) << colour << light << true;
        QTest::addRow("%s on dark", name) << colour << dark << false;
        QTest::addRow("%s on black", name) << colour << QColor(Qt::black) << false;
    }
    // Too little contrast for navy and maroon, too much light for white: darker, not lighter.
    QTest::newRow("navy on mid grey") << ::TextColour::Navy << grey << false;
}

void NorvikMainTest::readableColourRule()
{
    QFETCH(::TextColour, wanted);
    QFETCH(QColor, ground);
    QFETCH(bool, kept);
    const RgbColour description = RgbOf(wanted);
    const RgbColour groundRgb = RgbOfColor(ground);
    const RgbColour shown = ReadableColour(description, groundRgb);
    QVERIFY(ContrastRatio(shown, groundRgb) >= kLeastTextContrast);
    const bool same = shown.red == description.red && shown.green == description.green &&
                      shown.blue == description.blue;
    QCOMPARE(same, kept);
    if (wanted == ::TextColour::Navy) QVERIFY(shown.blue > shown.red && shown.blue > shown.green);
    if (wanted == ::TextColour::Maroon) QVERIFY(shown.red > shown.green && shown.red > shown.blue);
}

// After switching to a dark theme while the window is open, every coloured text reads on its
// ground: the sentence, the refusal, the revisions, the status and the percent; back on the
// light theme, the description's colours return.
void NorvikMainTest::textsStayReadableOnADarkTheme()
{
    const QPalette original = QApplication::palette();
    QPalette dark = original;
    dark.setColor(QPalette::Window, QColor(49, 54, 59));
    AddDrive();
    AddDrive("rev=RN09");
    MakeWindow().show();
    // A theme's change reaches the widgets through the event loop.
    const auto switchTo = [](const QPalette& palette) {
        QApplication::setPalette(palette);
        for (int round = 0; round < 2; ++round) QCoreApplication::processEvents();
    };
    switchTo(dark);
    const auto verifyReadable = [this] {
        for (const char* name : {"lblUpdateMsg", "lblOldFW", "lblNewFW", "lblMsg", "lblPercent"}) {
            const QPalette palette = Label(name)->palette();
            const double ratio = ContrastRatio(RgbOfColor(palette.color(QPalette::WindowText)),
                                               RgbOfColor(palette.color(QPalette::Window)));
            if (ratio < kLeastTextContrast)
                return QStringLiteral("%1: contrast %2").arg(QLatin1String(name)).arg(ratio);
        }
        return QString();
    };
    const QString switched = verifyReadable();
    Choose(1);
    const QString refused = verifyReadable();
    QCOMPARE(Label("lblUpdateMsg")->text(), kNotAllowed);
    switchTo(original);
    QVERIFY2(switched.isEmpty(), qPrintable(switched));
    QVERIFY2(refused.isEmpty(), qPrintable(refused));
    QCOMPARE(TextColour(Label("lblUpdateMsg")), kMaroon);
}

void NorvikMainTest::startUpRefusals_data()
{
    QTest::addColumn<QStringList>("drives");
    QTest::addColumn<char>("howManyBin");
    QTest::addColumn<char>("warning");
    QTest::addColumn<MessageKind>("kind");
    QTest::addColumn<QString>("title");
    QTest::addColumn<MessageButtons>("buttons");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("entries");

    QTest::newRow("no firmware") << QStringList{QString()} << '0' << '0' << MessageKind::Error
                                 << QStringLiteral("Error") << MessageButtons::Ok
                                 << QStringLiteral("No F/W in executable !") << QStringList{};
    QTest::newRow("no matched drive") << QStringList{QStringLiteral("rev=RN09"),
                                                     QStringLiteral("product=DVDRW KRX-999T")}
                                      << '1' << '0' << MessageKind::Error << QStringLiteral("Error")
                                      << MessageButtons::Ok
                                      << kNoMatchHead + QStringLiteral(
                                                            " 0-0-0-0 sr0TALVORE DVDRW KRX-407T   RN09\n"
                                                            " 0-0-1-0 sr1TALVORE DVDRW KRX-999T   RN05\n")
                                      << QStringList{QStringLiteral(" 0-0-0-0 sr0TALVORE DVDRW KRX-407T   RN09"),
                                                     QStringLiteral(" 0-0-1-0 sr1TALVORE DVDRW KRX-999T   RN05")};
    QTest::newRow("notice answered No") << QStringList{QString()} << '1' << '1' << MessageKind::Warning
                                        << QStringLiteral("Warning") << MessageButtons::YesNo << kNotice
                                        << QStringList{TalvoreEntry(0, "RN05")};
}

// Each refusal shows its box, tells the application to terminate, and leaves the window
// closable; no update starts.
void NorvikMainTest::startUpRefusals()
{
    QFETCH(QStringList, drives);
    QFETCH(char, howManyBin);
    QFETCH(char, warning);
    for (const QString& drive : drives) AddDrive(drive.toUtf8().constData());
    Set(SettingKey::HOW_MANY_BIN, howManyBin);
    Set(SettingKey::WARNING, warning);
    Set(SettingKey::AUTOMODE, '1');
    boxes->Answer(MessageAnswer::No);
    MakeWindow();

    QCOMPARE(boxes->shown.size(), std::size_t{1});
    const ShownBox& box = boxes->shown[0];
    QTEST(box.kind, "kind");
    QTEST(box.title, "title");
    QTEST(box.buttons, "buttons");
    QTEST(box.text, "text");
    QTEST(Entries(), "entries");
    QVERIFY(window->TerminationRequested());
    QVERIFY(!Timer()->isActive());
    QCOMPARE(window->Sequence().UpdateCount(), 0);
    QCOMPARE(CountOpcode(system->drive(0), kWriteBuffer), 0);
    window->show();
    QVERIFY(window->close());
}

// The queued quit is posted before the event loop exists and ends it as soon as it runs.
void NorvikMainTest::terminationAskedInTheConstructorEndsTheEventLoop()
{
    AddDrive();
    Set(SettingKey::HOW_MANY_BIN, '0');
    MakeWindow();
    QVERIFY(window->TerminationRequested());

    bool stillRunning = false;
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, [&stillRunning] {
        stillRunning = true;
        QCoreApplication::quit();
    });
    guard.start(10000);
    QElapsedTimer elapsed;
    elapsed.start();
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(!stillRunning);
    QVERIFY(elapsed.elapsed() < 5000);
}

void NorvikMainTest::selectionSwitchesTheVerdict_data()
{
    QTest::addColumn<QStringList>("drives");
    QTest::addColumn<int>("updatable");
    QTest::addColumn<int>("refused");

    QTest::newRow("refused drive after the updatable one")
        << QStringList{QStringLiteral("rev=RN05"), QStringLiteral("rev=RN09")} << 0 << 1;
    QTest::newRow("refused drive first: the updatable one is selected")
        << QStringList{QStringLiteral("rev=RN09"), QStringLiteral("rev=RN05")} << 1 << 0;
}

void NorvikMainTest::selectionSwitchesTheVerdict()
{
    QFETCH(QStringList, drives);
    QFETCH(int, updatable);
    QFETCH(int, refused);
    for (const QString& drive : drives) AddDrive(drive.toUtf8().constData());
    MakeWindow().show();

    QCOMPARE(List()->currentIndex(), updatable);
    VerifyUpdatableShown("RN08", "RN05");

    Choose(refused);
    QCOMPARE(List()->currentIndex(), refused);
    VerifyRefusedShown();

    Choose(updatable);
    VerifyUpdatableShown("RN08", "RN05");

    Choose(refused);
    VerifyRefusedShown();
    QTest::mouseClick(Button("cmdUpdate"), Qt::LeftButton);
    QVERIFY(!Timer()->isActive());
    QCOMPARE(window->Sequence().UpdateCount(), 0);
    QVERIFY(boxes->shown.empty());
}

void NorvikMainTest::manualUpdateEndsInDoneWithTheNewRevision()
{
    sim::VirtualDrive& drive = AddDrive();
    MakeWindow().show();
    QTest::mouseClick(Button("cmdUpdate"), Qt::LeftButton);

    QVERIFY(Timer()->isActive());
    QVERIFY(!Button("cmdUpdate")->isEnabled());
    QVERIFY(!Button("cmdClose")->isEnabled());
    QCOMPARE(TextColour(Label("lblMsg")), kMaroon);
    QCOMPARE(Bar()->maximum(), 330);
    QCOMPARE(Bar()->value(), 0);

    QVERIFY(RunUntilUpdateOver());
    QCOMPARE(boxes->shown.size(), std::size_t{1});
    const ShownBox& box = boxes->shown[0];
    QCOMPARE(box.kind, MessageKind::Information);
    QCOMPARE(box.title, QStringLiteral("Information"));
    QCOMPARE(box.buttons, MessageButtons::Ok);
    QCOMPARE(box.text, kUpdated);
    QCOMPARE(box.statusThen, QStringLiteral("Done."));
    QCOMPARE(box.statusColourThen, kNavy);

    QCOMPARE(Entries(), QStringList{TalvoreEntry(0, "RN08")});
    QCOMPARE(List()->currentIndex(), 0);
    VerifyUpdatableShown("RN08", "RN08");
    QCOMPARE(Label("lblMsg")->text(), QString());
    QCOMPARE(TextColour(Label("lblMsg")), kNavy);
    QCOMPARE(Label("lblPercent")->text(), QStringLiteral("0 %"));
    QCOMPARE(Bar()->value(), 0);
    QCOMPARE(Bar()->maximum(), 330);
    QVERIFY(!Timer()->isActive());
    QVERIFY(Button("cmdClose")->isEnabled());
    QVERIFY(!window->TerminationRequested());
    QCOMPARE(drive.flashState(), sim::FlashState::Good);
}

// No close button in the title bar, and the window manager's close request is ignored, at rest
// and during an update; cmdClose is disabled during the update and ends the program after it.
void NorvikMainTest::closeOnlyThroughTheCloseButton()
{
    AddDrive();
    MakeWindow().show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QVERIFY(!window->windowHandle()->close());
    QVERIFY(window->isVisible());

    QTest::mouseClick(Button("cmdUpdate"), Qt::LeftButton);
    QVERIFY(!Button("cmdClose")->isEnabled());
    QTest::mouseClick(Button("cmdClose"), Qt::LeftButton);
    QVERIFY(!window->windowHandle()->close());
    QVERIFY(!window->close());
    QVERIFY(window->isVisible());
    QVERIFY(!window->TerminationRequested());

    QVERIFY(RunUntilUpdateOver());
    QCOMPARE(boxes->Texts(), QStringList{kUpdated});
    QVERIFY(!window->TerminationRequested());
    QTest::mouseClick(Button("cmdClose"), Qt::LeftButton);
    QVERIFY(window->TerminationRequested());
    QCOMPARE(window->Sequence().Outcome(), SequenceOutcome::Closed);
    QVERIFY(window->windowHandle()->close());
    QVERIFY(!window->isVisible());
}

void NorvikMainTest::alreadyCurrentQuestion_data()
{
    QTest::addColumn<MessageAnswer>("answer");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<bool>("ends");

    QTest::newRow("No ends the program") << MessageAnswer::No << QStringList{kAlreadyCurrent} << true;
    QTest::newRow("Yes updates") << MessageAnswer::Yes << QStringList{kAlreadyCurrent, kUpdated} << false;
}

void NorvikMainTest::alreadyCurrentQuestion()
{
    QFETCH(MessageAnswer, answer);
    QFETCH(bool, ends);
    Set(SettingKey::N2OMESSAGE, '1');
    sim::VirtualDrive& drive = AddDrive("rev=RN08");
    MakeWindow().show();
    VerifyUpdatableShown("RN08", "RN08");

    boxes->Answer(answer);
    QTest::mouseClick(Button("cmdUpdate"), Qt::LeftButton);
    QVERIFY(RunUntilUpdateOver());
    QTEST(boxes->Texts(), "texts");
    QCOMPARE(boxes->shown[0].kind, MessageKind::Warning);
    QCOMPARE(boxes->shown[0].title, QStringLiteral("Warning"));
    QCOMPARE(boxes->shown[0].buttons, MessageButtons::YesNo);
    QCOMPARE(window->TerminationRequested(), ends);
    QCOMPARE(CountOpcode(drive, kWriteBuffer) > 0, !ends);
    QCOMPARE(Timer()->isActive(), false);
}

void NorvikMainTest::discAndTrayCheck_data()
{
    QTest::addColumn<QString>("drive");
    QTest::addColumn<int>("discTakenAtBox");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QStringList>("statusesThen");

    QTest::newRow("disc that can be ejected") << QStringLiteral("disc=1") << 0 << QStringList{kRemoveDisc, kUpdated}
                                              << QStringList{QStringLiteral("Tray Out ..."), QStringLiteral("Done.")};
    QTest::newRow("disc held by the drive, then ejected")
        << QStringLiteral("disc=1,fault=1B#1:sense:2/53/02") << 1 << QStringList{kDiscLocked, kRemoveDisc, kUpdated}
        << QStringList{QStringLiteral("Tray Out ..."), QStringLiteral("Tray Out ..."), QStringLiteral("Done.")};
    QTest::newRow("tray left open") << QStringLiteral("tray=open,fault=1B#1:sense:4/00/00") << -1
                                    << QStringList{kPushTrayIn, kUpdated}
                                    << QStringList{QStringLiteral("Waiting Drive Ready ..."), QStringLiteral("Done.")};
}

// The warnings of the check are answered OK; the disc is taken away while the box that asks for
// it is open. The drive is programmed once it is empty and closed.
void NorvikMainTest::discAndTrayCheck()
{
    QFETCH(QString, drive);
    QFETCH(int, discTakenAtBox);
    QFETCH(QStringList, statusesThen);
    Set(SettingKey::CHKDISC, '1');
    sim::VirtualDrive& virtualDrive = AddDrive(drive.toUtf8().constData());
    MakeWindow().show();
    for (int box = 0; box <= discTakenAtBox; ++box) {
        if (box < discTakenAtBox)
            boxes->Answer(MessageAnswer::Ok);
        else
            boxes->Answer(MessageAnswer::Ok, [&virtualDrive] { QVERIFY(virtualDrive.TakeDiscAway()); });
    }

    QTest::mouseClick(Button("cmdUpdate"), Qt::LeftButton);
    QVERIFY(RunUntilUpdateOver());
    QTEST(boxes->Texts(), "texts");
    QStringList statuses;
    for (const ShownBox& box : boxes->shown) {
        statuses << box.statusThen;
        if (box.text != kUpdated) QCOMPARE(box.kind, MessageKind::Warning);
        QCOMPARE(box.buttons, MessageButtons::Ok);
    }
    QCOMPARE(statuses, statusesThen);
    QCOMPARE(virtualDrive.flashState(), sim::FlashState::Good);
    QVERIFY(!virtualDrive.trayOpen());
    QVERIFY(!virtualDrive.discPresent());
}

// The update starts in the constructor, before the window is first shown; the failing drive
// brings the error box, and the refreshed list shows both drives.
void NorvikMainTest::automaticModeWithTwoDrivesAndOneFailing()
{
    Set(SettingKey::AUTOMODE, '1');
    sim::VirtualDrive& good = AddDrive();
    sim::VirtualDrive& failing = AddDrive("fault=3B#3+:sense:4/00/00");
    MakeWindow();
    QVERIFY(!window->isVisible());
    QVERIFY(Timer()->isActive());
    QVERIFY(!Button("cmdUpdate")->isEnabled());
    QVERIFY(!Button("cmdClose")->isEnabled());
    QCOMPARE(window->Sequence().UpdateCount(), 2);
    window->show();

    QVERIFY(RunUntilUpdateOver());
    QCOMPARE(boxes->shown.size(), std::size_t{1});
    QCOMPARE(boxes->shown[0].kind, MessageKind::Error);
    QCOMPARE(boxes->shown[0].title, QStringLiteral("Error"));
    QCOMPARE(boxes->shown[0].buttons, MessageButtons::Ok);
    QCOMPARE(boxes->shown[0].text, kUpdateFailed);
    QCOMPARE(boxes->shown[0].statusThen, QStringLiteral("Inquiry ..."));
    QCOMPARE(Label("lblPercent")->text(), QStringLiteral("100 %"));
    QCOMPARE(Bar()->value(), 330);
    QCOMPARE(Entries(), (QStringList{TalvoreEntry(0, "RN08"), TalvoreEntry(1, "RN05")}));
    QVERIFY(window->TerminationRequested());
    QVERIFY(!Timer()->isActive());
    QCOMPARE(good.flashState(), sim::FlashState::Good);
    QCOMPARE(failing.lastCommit().commitCount, 0u);
}

void NorvikMainTest::endsAfterSuccess_data()
{
    QTest::addColumn<char>("reboot");
    QTest::addColumn<char>("closeAp");
    QTest::addColumn<int>("restarts");
    QTest::addColumn<SequenceOutcome>("outcome");

    QTest::newRow("REBOOT: restart requested, program ends") << '1' << '0' << 1 << SequenceOutcome::Restarted;
    QTest::newRow("REBOOT wins over CLOSEAP") << '1' << '1' << 1 << SequenceOutcome::Restarted;
    QTest::newRow("CLOSEAP: silent end") << '0' << '1' << 0 << SequenceOutcome::ClosedAfterSuccess;
}

// No box at all; the program ends with the finishing texts still shown.
void NorvikMainTest::endsAfterSuccess()
{
    QFETCH(char, reboot);
    QFETCH(char, closeAp);
    QFETCH(int, restarts);
    Set(SettingKey::REBOOT, reboot);
    Set(SettingKey::CLOSEAP, closeAp);
    sim::VirtualDrive& drive = AddDrive();
    MakeWindow().show();
    QTest::mouseClick(Button("cmdUpdate"), Qt::LeftButton);
    QVERIFY(RunUntilUpdateOver());

    QVERIFY(boxes->shown.empty());
    QCOMPARE(static_cast<int>(system->restartRequests().size()), restarts);
    if (restarts > 0) QCOMPARE(system->restartRequests()[0], 6u);
    QTEST(window->Sequence().Outcome(), "outcome");
    QVERIFY(window->TerminationRequested());
    QCOMPARE(Label("lblMsg")->text(), QStringLiteral("Inquiry ..."));
    QCOMPARE(Label("lblPercent")->text(), QStringLiteral("100 %"));
    QCOMPARE(drive.flashState(), sim::FlashState::Good);
    QVERIFY(window->close());
}

void NorvikMainTest::progressTexts_data()
{
    QTest::addColumn<int>("ticks");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("percent");
    QTest::addColumn<QString>("status");

    QTest::newRow("p = 1") << 1 << 1 << QStringLiteral("0 %") << QStringLiteral("Programming .");
    QTest::newRow("p = 4") << 4 << 4 << QStringLiteral("1 %") << QStringLiteral("Programming ....");
    QTest::newRow("p = 10") << 10 << 10 << QStringLiteral("3 %") << QStringLiteral("Programming ");
    QTest::newRow("p = 330") << 330 << 330 << QStringLiteral("100 %") << QStringLiteral("Programming ");
    QTest::newRow("after 330") << 332 << 330 << QStringLiteral("100 %") << QStringLiteral("Programming ..........");
}

// The worker's end waits for this thread, so the ticks run while the update is under way.
void NorvikMainTest::progressTexts()
{
    QFETCH(int, ticks);
    AddDrive();
    MakeWindow().show();
    QTest::mouseClick(Button("cmdUpdate"), Qt::LeftButton);
    QVERIFY(Timer()->isActive());
    for (int tick = 0; tick < ticks; ++tick) Tick();

    QTEST(Bar()->value(), "position");
    QCOMPARE(Bar()->maximum(), 330);
    QTEST(Label("lblPercent")->text(), "percent");
    QTEST(Label("lblMsg")->text(), "status");
    QCOMPARE(TextColour(Label("lblMsg")), kMaroon);
    QVERIFY(RunUntilUpdateOver());
    QCOMPARE(boxes->Texts(), QStringList{kUpdated});
}

void NorvikMainTest::standardMessageBoxes_data()
{
    QTest::addColumn<MessageKind>("kind");
    QTest::addColumn<MessageButtons>("buttons");
    QTest::addColumn<int>("press");  // a standard button, 0 to close the box, kEscape for the key
    QTest::addColumn<MessageAnswer>("answer");
    QTest::addColumn<int>("icon");

    QTest::newRow("warning, Yes") << MessageKind::Warning << MessageButtons::YesNo << int(QMessageBox::Yes)
                                  << MessageAnswer::Yes << int(QMessageBox::Warning);
    QTest::newRow("warning, No") << MessageKind::Warning << MessageButtons::YesNo << int(QMessageBox::No)
                                 << MessageAnswer::No << int(QMessageBox::Warning);
    QTest::newRow("warning, closed counts as No")
        << MessageKind::Warning << MessageButtons::YesNo << 0 << MessageAnswer::No << int(QMessageBox::Warning);
    QTest::newRow("error, OK") << MessageKind::Error << MessageButtons::Ok << int(QMessageBox::Ok) << MessageAnswer::Ok
                               << int(QMessageBox::Critical);
    QTest::newRow("information, closed") << MessageKind::Information << MessageButtons::Ok << 0 << MessageAnswer::Ok
                                         << int(QMessageBox::Information);
    // Giving a drive up is only ever the deliberate click.
    QTest::newRow("give-up box, OK") << MessageKind::Warning << MessageButtons::OkGiveUp << int(QMessageBox::Ok)
                                     << MessageAnswer::Ok << int(QMessageBox::Warning);
    QTest::newRow("give-up box, Give Up") << MessageKind::Warning << MessageButtons::OkGiveUp << int(QMessageBox::Abort)
                                          << MessageAnswer::No << int(QMessageBox::Warning);
    QTest::newRow("give-up box, closed counts as OK")
        << MessageKind::Warning << MessageButtons::OkGiveUp << 0 << MessageAnswer::Ok << int(QMessageBox::Warning);
    QTest::newRow("give-up box, Escape counts as OK") << MessageKind::Warning << MessageButtons::OkGiveUp << kEscape
                                                      << MessageAnswer::Ok << int(QMessageBox::Warning);
}

// Qt's own boxes, as the program shows them: kind, caption, the text kept as written, buttons.
void NorvikMainTest::standardMessageBoxes()
{
    QFETCH(MessageKind, kind);
    QFETCH(MessageButtons, buttons);
    QFETCH(int, press);
    const QString text = QStringLiteral("Line one <b>not bold</b>\n  two");
    QString seenTitle;
    QString seenText;
    int seenIcon = -1;
    QMessageBox::StandardButtons seenButtons;
    QMessageBox::StandardButton seenDefault = QMessageBox::NoButton;
    QString seenGiveUp;
    Qt::TextFormat seenFormat = Qt::AutoText;
    QTimer answerer;
    connect(&answerer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        answerer.stop();
        seenTitle = box->windowTitle();
        seenText = box->text();
        seenIcon = box->icon();
        seenButtons = box->standardButtons();
        seenFormat = box->textFormat();
        seenDefault = box->standardButton(box->defaultButton());
        if (const QAbstractButton* giveUp = box->button(QMessageBox::Abort)) seenGiveUp = giveUp->text();
        if (press == 0)
            box->close();
        else if (press == kEscape)
            QTest::keyClick(box, Qt::Key_Escape);
        else if (QAbstractButton* button = box->button(static_cast<QMessageBox::StandardButton>(press)))
            button->click();
        else
            box->close();  // the button is missing: the buttons compared below tell
    });
    answerer.start(10);

    StandardMessageBoxes standard;
    const MessageAnswer answer = standard.Ask(nullptr, kind, "Caption", text.toStdString(), buttons);
    QTEST(answer, "answer");
    QCOMPARE(seenTitle, QStringLiteral("Caption"));
    QCOMPARE(seenText, text);
    QCOMPARE(seenFormat, Qt::PlainText);
    QTEST(seenIcon, "icon");
    switch (buttons) {
    case MessageButtons::Ok: QCOMPARE(seenButtons, QMessageBox::StandardButtons(QMessageBox::Ok)); break;
    case MessageButtons::YesNo:
        QCOMPARE(seenButtons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(seenDefault, QMessageBox::Yes);
        break;
    case MessageButtons::OkGiveUp:
        QCOMPARE(seenButtons, QMessageBox::Ok | QMessageBox::Abort);
        QCOMPARE(seenGiveUp, QStringLiteral("Give Up"));
        QCOMPARE(seenDefault, QMessageBox::Ok);
        break;
    }
}

// The window tests run on the offscreen platform unless told otherwise.
int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    NorvikMainTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "NorvikMainTest.moc"
