// The kiosk's options and the return to the main menu when nobody touches
// the kiosk: the real screens opened one from another, a fake clock.

#include "datafolder.h"
#include "screens.h"
#include "testcontext.h"

#include "kiosk/feuillechoix.h"
#include "kiosk/kioskoptions.h"
#include "kiosk/retouraccueil.h"
#include "platform/qtservices.h"
#include "lending/feuilleclasse.h"
#include "lending/feuilledocument.h"
#include "lending/feuilleecole.h"
#include "search/feuilleaffichage.h"
#include "search/feuilledescripteurs.h"
#include "search/feuilleecriture.h"
#include "search/feuillerecherche.h"
#include "search/recherche1.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <functional>

namespace {

// One step of a child's way: opens the next screen (modally) from the one on top.
using Step = std::function<void(KioskContext &)>;

struct Kiosk
{
    DataFolder folder;
    TestContext t;

    Kiosk()
    {
        folder.fillSmallSchool();
        writeBmp(folder.base() + "/LIVRES/00042.BMP");
        folder.writeFile(QStringLiteral("LALUMA/SONS/FERME.WAV"), "RIFF");
        t.openAsStartUp(folder);
    }

    // Opens the main menu, then each screen of `way` from the one before,
    // each modally as the child's touches would; `onTop` runs in the last
    // one. Returns once the main menu is the only screen left and closes it;
    // false if the screens had to be closed after 20 s instead.
    [[nodiscard]] bool walk(const QList<Step> &way, const std::function<void()> &onTop)
    {
        Feuillechoix &menu = t.context.FeuilleChoix();
        std::function<void(int)> next = [&](int i) {
            QTimer::singleShot(0, &menu, [&, i] {
                if (i == way.size()) {
                    onTop();
                    return;
                }
                next(i + 1);
                way[i](t.context);
            });
        };
        next(0);
        // The way back ends on the main menu alone: closed to end the test.
        QTimer backHome;
        QObject::connect(&backHome, &QTimer::timeout, &menu, [&] {
            if (QApplication::activeModalWidget() == &menu)
                menu.hide();
        });
        backHome.start(50);
        bool stuck = false;
        QTimer::singleShot(20000, &menu, [&stuck] { // never hang the suite
            stuck = true;
            for (QWidget *w : QApplication::topLevelWidgets())
                w->hide();
        });
        menu.exec();
        return !stuck;
    }
};

const Step kEcole = [](KioskContext &c) { c.FeuilleChoix().Command3D1_Click(); };
const Step kClasse = [](KioskContext &c) {
    c.FeuilleÉcole().Dessin1(0)->show();
    c.FeuilleÉcole().Dessin1_Click(0);
    c.FeuilleÉcole().Command3D1_Click();
};
const Step kDocument = [](KioskContext &c) {
    c.FeuilleClasse().Dessin1_Click(0);
    c.FeuilleClasse().Command3D1_Click();
};
const Step kRecherche = [](KioskContext &c) { c.FeuilleChoix().Command3D2_Click(); };
const Step kEcriture = [](KioskContext &c) { c.FeuilleRecherche().Command3D1_Click(); };
const Step kDescripteurs = [](KioskContext &c) { c.FeuilleRecherche().Command3D5_Click(); };
const Step kRequetes = [](KioskContext &c) { c.FeuilleRecherche().Command3D4_Click(); };
const Step kAffichage = [](KioskContext &c) {
    c.FeuilleÉcriture().Texte1()->setText(QStringLiteral("loup"));
    c.FeuilleÉcriture().Commande2_Click();
};

QList<QWidget *> screensOf(AppContext &c)
{
    return {&c.FeuilleÉcole(),    &c.FeuilleClasse(),       &c.FeuilleDocument(),  &c.FeuilleRecherche(),
            &c.FeuilleÉcriture(), &c.FeuilleDescripteurs(), &c.FeuilleRecherche1(), &c.FeuilleAffichage()};
}

// Runs the idle check until the screens are closed (or nothing happens).
void pump(RetourAccueil &retour)
{
    for (int i = 0; i < 50; ++i) {
        retour.verifie();
        QTest::qWait(20);
        if (!retour.enCours())
            return;
    }
}

} // namespace

class KioskTest : public QObject
{
    Q_OBJECT

private slots:
    void options_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<bool>("fullScreen");
        QTest::addColumn<bool>("quiet");
        using O = KioskOptionsParse::Outcome;
        QTest::newRow("none") << QStringList() << int(O::Run) << 180 << false << false;
        QTest::newRow("both") << QStringList{"--plein-ecran", "--retour-accueil", "60", "--sans-voix"} << int(O::Run) << 60 << true << true;
        QTest::newRow("equals, off") << QStringList{"--retour-accueil=0"} << int(O::Run) << 0 << false << false;
        QTest::newRow("a whole day") << QStringList{"--retour-accueil", "86400"} << int(O::Run) << 86400 << false << false;
        QTest::newRow("help") << QStringList{"--help"} << int(O::Help) << 180 << false << false;
        QTest::newRow("missing value") << QStringList{"--retour-accueil"} << int(O::Error) << 180 << false << false;
        QTest::newRow("negative") << QStringList{"--retour-accueil", "-5"} << int(O::Error) << 180 << false << false;
        QTest::newRow("unknown") << QStringList{"--fullscreen"} << int(O::Error) << 180 << false << false;
        QTest::newRow("a folder") << QStringList{"/srv/LALUMA"} << int(O::Error) << 180 << false << false;
    }
    void options()
    {
        QFETCH(QStringList, args);
        QFETCH(int, outcome);
        const KioskOptionsParse parse = parseKioskOptions(args);
        QCOMPARE(int(parse.outcome), outcome);
        if (parse.outcome == KioskOptionsParse::Outcome::Run) {
            QTEST(parse.options.retourAccueilSecondes, "seconds");
            QTEST(parse.options.pleinEcran, "fullScreen");
            QTEST(parse.options.sansVoix, "quiet");
        } else {
            QVERIFY(!parse.text.isEmpty());
        }
    }

    // The real program: answers without a display, in French, status 2 for
    // a wrong option.
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("words");
        QTest::newRow("help") << QStringList{"--help"} << 0 << "--sans-voix";
        QTest::newRow("bad seconds") << QStringList{"--retour-accueil", "trois"} << 2 << "nombre de secondes";
        QTest::newRow("over a day") << QStringList{"--retour-accueil", "86401"} << 2
                                    << "entre 0 et 86400, pas « 86401 »";
    }
    void commandLine()
    {
        QFETCH(QStringList, args);
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(LUMA_KIOSK_PROGRAM), args);
        QVERIFY(program.waitForFinished(10000));
        QTEST(program.exitCode(), "status");
        const QString out = QString::fromLocal8Bit(program.readAllStandardOutput() + program.readAllStandardError());
        QFETCH(QString, words);
        QVERIFY2(out.contains(words), qPrintable(out));
    }

    // After the time without a touch, every screen closes by its own door
    // and the main menu is left; the document screen's number is gone.
    void idleReturnFromEachScreen_data()
    {
        QTest::addColumn<QList<Step>>("way");
        QTest::newRow("classes") << QList<Step>{kEcole};
        QTest::newRow("children") << QList<Step>{kEcole, kClasse};
        QTest::newRow("document number") << QList<Step>{kEcole, kClasse, kDocument};
        QTest::newRow("search") << QList<Step>{kRecherche};
        QTest::newRow("typed word") << QList<Step>{kRecherche, kEcriture};
        QTest::newRow("word list") << QList<Step>{kRecherche, kDescripteurs};
        QTest::newRow("pictures") << QList<Step>{kRecherche, kRequetes};
        QTest::newRow("document shown") << QList<Step>{kRecherche, kEcriture, kAffichage};
    }
    void idleReturnFromEachScreen()
    {
        QFETCH(QList<Step>, way);
        Kiosk kiosk;
        RetourAccueil retour(kiosk.t.clock, 180);
        QWidget *top = nullptr;
        bool stillUpBeforeTime = false;
        QVERIFY(kiosk.walk(way, [&] {
            top = QApplication::activeModalWidget();
            kiosk.t.context.FeuilleDocument().Text1()->setText(QStringLiteral("0004"));
            kiosk.t.clock.current = kiosk.t.clock.current.addSecs(179);
            pump(retour);
            stillUpBeforeTime = top->isVisible();
            kiosk.t.clock.current = kiosk.t.clock.current.addSecs(1);
            pump(retour);
        }));
        QVERIFY(stillUpBeforeTime);
        for (QWidget *screen : screensOf(kiosk.t.context))
            QVERIFY2(screen->isHidden(), qPrintable(screen->objectName()));
        QCOMPARE(kiosk.t.messages.shown.size(), 0);
        // Each screen left as by its door, which plays the closing sound.
        QVERIFY(!kiosk.t.sound.played.isEmpty() && kiosk.t.sound.played.last().endsWith(QLatin1String("FERME.WAV")));

        // The next child finds no number typed.
        bool clean = false;
        QVERIFY(kiosk.walk({kEcole, kClasse, kDocument}, [&] {
            clean = kiosk.t.context.FeuilleDocument().Text1()->text().isEmpty();
            kiosk.t.clock.current = kiosk.t.clock.current.addSecs(180);
            pump(retour);
        }));
        QVERIFY(clean);
    }

    // A real box left open over a screen: one that only tells something is
    // closed with the screens; a question (the repair offer) is never
    // answered for the grown-up who has not seen it, and its screen stays.
    void idleReturnOverABox_data()
    {
        QTest::addColumn<int>("buttons");
        QTest::addColumn<bool>("boxClosed");
        QTest::newRow("message") << int(MsgButtons::Ok) << true;
        QTest::newRow("question") << int(MsgButtons::YesNo) << false;
    }
    void idleReturnOverABox()
    {
        QFETCH(int, buttons);
        Kiosk kiosk;
        RetourAccueil retour(kiosk.t.clock, 180);
        QtMessageBoxes boxes;
        bool boxUp = false, screenUp = false;
        int answer = 0;
        QVERIFY(kiosk.walk({kEcole, kClasse}, [&] {
            QWidget *screen = QApplication::activeModalWidget();
            QTimer::singleShot(0, [&, screen] {
                kiosk.t.clock.current = kiosk.t.clock.current.addSecs(600);
                pump(retour);
                auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                boxUp = box != nullptr;
                screenUp = screen->isVisible();
                if (box) // the grown-up comes and answers
                    box->button(QMessageBox::Yes)->click();
                // The next round, after the box: the screens close.
                kiosk.t.clock.current = kiosk.t.clock.current.addSecs(600);
                QTimer::singleShot(0, &retour, [&] { pump(retour); });
            });
            answer = boxes.show(QStringLiteral("Voulez-vous que «La LUMA» essaie de les réparer ?"),
                                Module11::titreErreur(), MsgIcon::Question, MsgButtons(buttons));
        }));
        QFETCH(bool, boxClosed);
        QCOMPARE(boxUp, !boxClosed);
        QCOMPARE(screenUp, !boxClosed);
        QCOMPARE(answer, boxClosed ? MsgAnswer::Ok : MsgAnswer::Yes);
    }

    // Halfway through the time, something happens on the document screen;
    // at the end of it, the screen is kept only if that was a child's touch.
    // A finger held down or a key keeps it; the mouse merely passing over,
    // or a key event replayed once the box it opened was answered, does not.
    // Off (0), it is never left. A handler waiting for another kiosk's lock
    // lets the screen paint: the screen is not closed under it.
    void idleReturnAfterInput_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<bool>("kept");
        QTest::newRow("key") << "key" << 180 << true;
        QTest::newRow("finger held") << "press" << 180 << true;
        QTest::newRow("plain mouse moves") << "moves" << 180 << false;
        QTest::newRow("moves, finger held") << "drag" << 180 << true;
        QTest::newRow("key replayed after a box") << "replay" << 180 << false;
        QTest::newRow("off") << "" << 0 << true;
        QTest::newRow("during a lock wait") << "lock wait" << 180 << true;
    }
    void idleReturnAfterInput()
    {
        QFETCH(QString, input);
        QFETCH(int, seconds);
        Kiosk kiosk;
        Module11 &m = kiosk.t.module();
        RetourAccueil retour(kiosk.t.clock, seconds, [&m] { return m.attendUnVerrou(); });
        bool kept = false;
        QVERIFY(kiosk.walk({kEcole, kClasse, kDocument}, [&] {
            feuilledocument &doc = kiosk.t.context.FeuilleDocument();
            QWidget *field = doc.Text1();
            const auto move = [&](Qt::MouseButtons buttons) {
                for (const QPoint at : {QPoint(2, 2), QPoint(8, 5)}) {
                    QMouseEvent event(QEvent::MouseMove, at, field->mapToGlobal(at), Qt::NoButton, buttons,
                                      Qt::NoModifier);
                    QApplication::sendEvent(field, &event);
                }
            };
            QTest::mouseClick(field, Qt::LeftButton); // the child's last touch, at the start
            kiosk.t.clock.current = kiosk.t.clock.current.addSecs(170);
            if (input == "key") {
                QTest::keyClick(field, Qt::Key_2);
            } else if (input == "press" || input == "drag") {
                QTest::mousePress(field, Qt::LeftButton);
                if (input == "drag")
                    move(Qt::LeftButton);
            } else if (input == "moves") {
                move(Qt::NoButton);
            } else if (input == "replay") {
                QKeyEvent replay(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
                replay.setTimestamp(1);
                QApplication::sendEvent(field, &replay);
            }
            kiosk.t.clock.current = kiosk.t.clock.current.addSecs(170);
            if (input == "lock wait") {
                QTimer::singleShot(0, &retour, [&] { retour.verifie(); });
                m.attenteVerrou().waiting(); // one pause of a wait, as a lock wait makes it
                kept = doc.isVisible() && !retour.enCours();
            } else {
                pump(retour);
                kept = doc.isVisible();
            }
            if (input == "press" || input == "drag")
                QTest::mouseRelease(field, Qt::LeftButton);
            // Whatever happened, the screens close once nobody is there.
            RetourAccueil closer(kiosk.t.clock, 180);
            kiosk.t.clock.current = kiosk.t.clock.current.addSecs(600);
            pump(closer);
        }));
        QTEST(kept, "kept");
        QVERIFY(kiosk.t.context.FeuilleÉcole().isHidden());
    }
};

QTEST_MAIN(KioskTest)
#include "tst_kiosk.moc"
