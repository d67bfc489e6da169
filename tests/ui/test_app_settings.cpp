#include <QComboBox>
#include <QEventLoop>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "UiTestSupport.h"
#include "support/TestSupport.h"
#include "app/AcknowledgementsView.h"
#include "app/AppLanguage.h"
#include "app/AppSettingsView.h"
#include "platform/PreferenceStore.h"

using namespace glintwork;

class AppSettingsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void pickerOpensOnTheStoredLanguage_data();
    void pickerOpensOnTheStoredLanguage();
    void choosingALanguageWritesAndRemovesTheKey();
    void closingWithoutAChoiceStoresNothing();
    void acknowledgementsShowTheBundledText();
    void acknowledgementsFallBackWhenTheFileIsMissing();
    // Last: it quits the application's event loops.
    void quitNowClosesTheSheetThenQuits();

private:
    QTemporaryDir m_config;
    QByteArray m_resources;
};

void AppSettingsTest::initTestCase() {
    QVERIFY(m_config.isValid());
    test::isolatePreferences(m_config);
    m_resources = qgetenv("GLINTWORK_RESOURCES");
}

void AppSettingsTest::init() {
    PreferenceStore().remove(kAppleLanguagesKey);
}

void AppSettingsTest::pickerOpensOnTheStoredLanguage_data() {
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QString>("shown");
    QTest::newRow("German") << QStringList{QStringLiteral("de")} << QStringLiteral("Deutsch");
    QTest::newRow("Japan's Japanese") << QStringList{QStringLiteral("ja-JP"), QStringLiteral("en")}
                                      << QStringLiteral("日本語");
    QTest::newRow("Korean") << QStringList{QStringLiteral("ko")} << QStringLiteral("한국어");
    QTest::newRow("a language not offered") << QStringList{QStringLiteral("fr-FR")}
                                            << QStringLiteral("System Default");
    QTest::newRow("an empty list") << QStringList{} << QStringLiteral("System Default");
}

void AppSettingsTest::pickerOpensOnTheStoredLanguage() {
    QFETCH(QStringList, stored);
    QFETCH(QString, shown);
    PreferenceStore().setStringList(kAppleLanguagesKey, stored);
    AppSettingsView sheet;
    QCOMPARE(sheet.languagePicker()->currentText(), shown);
}

void AppSettingsTest::choosingALanguageWritesAndRemovesTheKey() {
    AppSettingsView sheet;
    sheet.show();
    QComboBox* picker = sheet.languagePicker();
    QCOMPARE(picker->count(), 5);
    QCOMPARE(picker->itemText(0), QStringLiteral("System Default"));
    QCOMPARE(picker->itemText(4), QStringLiteral("Deutsch"));

    // Choosing Deutsch from the keyboard, as a user would.
    picker->setFocus();
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(picker, Qt::Key_Down);
    QCOMPARE(sheet.selection(), AppLanguage::de);
    QCOMPARE(PreferenceStore().stringList(kAppleLanguagesKey), QStringList{QStringLiteral("de")});
    QMessageBox* alert = sheet.restartAlert();
    QVERIFY(alert);
    QVERIFY(alert->isVisible());
    QCOMPARE(alert->text(), QStringLiteral("Restart Required"));
    QCOMPARE(alert->informativeText(),
             QStringLiteral("Language changes take effect after restarting Glintwork."));
    QAbstractButton* later = nullptr;
    for (QAbstractButton* button : alert->buttons()) {
        if (button->text() == QStringLiteral("Later"))
            later = button;
    }
    QVERIFY(later);
    later->click();
    QTRY_VERIFY(!sheet.restartAlert());
    QVERIFY(sheet.isVisible());

    sheet.select(AppLanguage::system);
    QVERIFY(!PreferenceStore().contains(kAppleLanguagesKey));
    QVERIFY(sheet.restartAlert());
}

void AppSettingsTest::closingWithoutAChoiceStoresNothing() {
    AppSettingsView sheet;
    sheet.show();
    QTest::keyClick(&sheet, Qt::Key_Escape);
    QVERIFY(!sheet.isVisible());
    QVERIFY(!PreferenceStore().contains(kAppleLanguagesKey));
    QVERIFY(!sheet.restartAlert());
}

void AppSettingsTest::acknowledgementsShowTheBundledText() {
    AppSettingsView sheet;
    sheet.show();
    sheet.acknowledgementsButton()->click();
    AcknowledgementsView* view = sheet.acknowledgementsSheet();
    QVERIFY(view);
    QFile licences(QString::fromLocal8Bit(m_resources) + QStringLiteral("/LICENSE-THIRD-PARTY.txt"));
    QVERIFY(licences.open(QIODevice::ReadOnly));
    QCOMPARE(view->text(), QString::fromUtf8(licences.readAll()));
}

void AppSettingsTest::acknowledgementsFallBackWhenTheFileIsMissing() {
    QTemporaryDir emptyResources;
    const test::ResourceFolder current(emptyResources.path());
    const AcknowledgementsView view;
    QCOMPARE(view.text(), QStringLiteral("Third-party license information is unavailable."));
}

void AppSettingsTest::quitNowClosesTheSheetThenQuits() {
    AppSettingsView sheet;
    sheet.show();
    sheet.select(AppLanguage::ja);
    QMessageBox* alert = sheet.restartAlert();
    QVERIFY(alert);
    QAbstractButton* quitNow = nullptr;
    for (QAbstractButton* button : alert->buttons()) {
        if (button->text() == QStringLiteral("Quit Now"))
            quitNow = button;
    }
    QVERIFY(quitNow);
    quitNow->click();
    QVERIFY(!sheet.isVisible());
    // The application is asked to quit a moment later: its loop ends with the quit's
    // status, not with the guard's.
    QTimer::singleShot(20000, qApp, [] { QCoreApplication::exit(1); });
    QCOMPARE(QCoreApplication::exec(), 0);
}

QTEST_MAIN(AppSettingsTest)
#include "test_app_settings.moc"
