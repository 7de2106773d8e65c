// The window in the language of its translators: the form's texts, the sequence's sentence with
// the old revision in its gap, and the message boxes; English without a catalogue.

#include <QtTest/QtTest>
#include <QtWidgets/QApplication>
#include <QtWidgets/QLabel>

#include <cstring>
#include <memory>

#include "ScriptedBoxes.h"
#include "frontends/translation/UserLanguage.h"
#include "frontends/window/NorvikMain.h"
#include "package/PackageReader.h"
#include "payload/PackageBlock.h"
#include "payload/PackageLayout.h"
#include "sim/VirtualSystem.h"

class NorvikMainLanguageTest : public QObject {
    Q_OBJECT

private slots:
    void textsInTheLocalesLanguage_data();
    void textsInTheLocalesLanguage();

private:
    std::unique_ptr<TNorvikMain> MakeWindow(sim::VirtualSystem& system, windowtest::ScriptedBoxes& boxes);

    std::unique_ptr<payload::PackageBlock> block = std::make_unique<payload::PackageBlock>();
};

// The program's own package with a synthetic firmware packed in, without the notice.
std::unique_ptr<TNorvikMain> NorvikMainLanguageTest::MakeWindow(sim::VirtualSystem& system,
                                                                windowtest::ScriptedBoxes& boxes)
{
    std::memcpy(block.get(), payload::OwnPackageBlock(), payload::kPackageSize);
    for (std::size_t i = 0; i < payload::kImageAreaSize; ++i)
        block->imageArea[i] = static_cast<uint8_t>((i * 131 + (i >> 12) + 7) & 0xFF);
    const payload::EntryLocation& warning = payload::kConfigurationEntries[static_cast<int>(SettingKey::WARNING)];
    reinterpret_cast<uint8_t*>(block.get())[warning.offset + warning.key.size()] = '0';
    return std::make_unique<TNorvikMain>(system, reinterpret_cast<const uint8_t*>(block.get()), MadeUpProfiles::Allowed,
                                         &boxes);
}

void NorvikMainLanguageTest::textsInTheLocalesLanguage_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("sentence");
    QTest::addColumn<QString>("boxTitle");
    QTest::addColumn<QString>("boxHead");
    QTest::newRow("C") << "C"
                       << "Please select target drive :"
                       << "It will be updated from             to"
                       << "Error"
                       << "No matched drive detected !\nThis utility is only for ";
    QTest::newRow("unknown") << "xx_YY"
                             << "Please select target drive :"
                             << "It will be updated from             to"
                             << "Error"
                             << "No matched drive detected !\nThis utility is only for ";
    QTest::newRow("German") << "de_DE"
                            << "Bitte Ziellaufwerk wählen :"
                            << "Es wird aktualisiert von             auf"
                            << "Fehler"
                            << "Kein passendes Laufwerk gefunden !\nDieses Programm ist nur für das Laufwerk ";
}

void NorvikMainLanguageTest::textsInTheLocalesLanguage()
{
    QFETCH(QString, locale);
    QFETCH(QString, label);
    QFETCH(QString, sentence);
    QFETCH(QString, boxTitle);
    QFETCH(QString, boxHead);
    translation::UserLanguage language(QLocale(locale), {QStringLiteral(NORVIK_BUILD_TRANSLATIONS_DIR)});
    language.Install(*QCoreApplication::instance());

    sim::VirtualSystem updatable;
    std::string reason;
    QVERIFY(updatable.AddDrive("", reason) != nullptr);
    windowtest::ScriptedBoxes quiet;
    const std::unique_ptr<TNorvikMain> window = MakeWindow(updatable, quiet);
    window->show();
    QCOMPARE(window->findChild<QLabel*>(QStringLiteral("Label1"))->text(), label);
    const QLabel* shown = window->findChild<QLabel*>(QStringLiteral("lblUpdateMsg"));
    QCOMPARE(shown->text(), sentence);
    const QFontMetrics metrics(shown->font());
    const QRect oldRevision = window->findChild<QLabel*>(QStringLiteral("lblOldFW"))->geometry();
    QVERIFY(oldRevision.left() >= shown->x() + metrics.horizontalAdvance(sentence.left(sentence.indexOf("  "))));
    QVERIFY(oldRevision.right() < shown->x() + metrics.horizontalAdvance(sentence.left(sentence.lastIndexOf(' '))));
    QVERIFY(quiet.shown.empty());

    sim::VirtualSystem withoutDrives;
    windowtest::ScriptedBoxes boxes;
    const std::unique_ptr<TNorvikMain> refusing = MakeWindow(withoutDrives, boxes);
    QCOMPARE(boxes.shown.size(), 1u);
    QCOMPARE(boxes.shown[0].title, boxTitle);
    QVERIFY2(boxes.shown[0].text.startsWith(boxHead), qPrintable(boxes.shown[0].text));
    // Whatever the start-up left for this thread's event loop goes with the windows.
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QTEST_MAIN(NorvikMainLanguageTest)
#include "NorvikMainLanguageTest.moc"
