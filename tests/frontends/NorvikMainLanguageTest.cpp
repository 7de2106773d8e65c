// The window in the language of its translators: the form's label, and the sequence's sentence
// with the old revision in its gap, as the language has it; English without a catalogue.

#include <QtTest/QtTest>
#include <QtWidgets/QLabel>

#include <cstring>
#include <memory>

#include "ScriptedBoxes.h"
#include "frontends/translation/UserLanguage.h"
#include "frontends/window/NorvikMain.h"
#include "payload/PackageBlock.h"
#include "payload/PackageLayout.h"
#include "sim/VirtualSystem.h"

class NorvikMainLanguageTest : public QObject {
    Q_OBJECT

private slots:
    void textsInTheLocalesLanguage_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("sentence");
        QTest::newRow("C") << "C"
                           << "Please select target drive :"
                           << "It will be updated from             to";
        QTest::newRow("unknown") << "xx_YY"
                                 << "Please select target drive :"
                                 << "It will be updated from             to";
        QTest::newRow("German") << "de_DE"
                                << "Bitte Ziellaufwerk wählen :"
                                << "Es wird aktualisiert von             auf";
    }

    // The program's own package with a synthetic firmware packed in, on one drive it updates.
    void textsInTheLocalesLanguage()
    {
        QFETCH(QString, locale);
        QFETCH(QString, label);
        QFETCH(QString, sentence);
        translation::UserLanguage language(QLocale(locale), {QStringLiteral(NORVIK_BUILD_TRANSLATIONS_DIR)});
        language.Install(*QCoreApplication::instance());
        const auto block = std::make_unique<payload::PackageBlock>();
        std::memcpy(block.get(), payload::OwnPackageBlock(), payload::kPackageSize);
        for (std::size_t i = 0; i < payload::kImageAreaSize; ++i)
            block->imageArea[i] = static_cast<uint8_t>(i * 131 + 7);
        sim::VirtualSystem system;
        std::string reason;
        QVERIFY(system.AddDrive("", reason) != nullptr);
        windowtest::ScriptedBoxes boxes;
        boxes.Answer(MessageAnswer::Yes);  // the notice
        TNorvikMain window(system, reinterpret_cast<const uint8_t*>(block.get()), MadeUpProfiles::Allowed, &boxes);
        window.show();

        QCOMPARE(window.findChild<QLabel*>(QStringLiteral("Label1"))->text(), label);
        const QLabel* shown = window.findChild<QLabel*>(QStringLiteral("lblUpdateMsg"));
        QCOMPARE(shown->text(), sentence);
        const QFontMetrics metrics(shown->font());
        const QRect oldRevision = window.findChild<QLabel*>(QStringLiteral("lblOldFW"))->geometry();
        QVERIFY(oldRevision.left() >= shown->x() + metrics.horizontalAdvance(sentence.left(sentence.indexOf("  "))));
        QVERIFY(oldRevision.right() < shown->x() + metrics.horizontalAdvance(sentence.left(sentence.lastIndexOf(' '))));
    }

    // A worker deletes itself through this thread's event loop once its end was handled.
    void cleanup()
    {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

QTEST_MAIN(NorvikMainLanguageTest)
#include "NorvikMainLanguageTest.moc"
