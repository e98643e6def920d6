// The labels and the class sheet of the teachers' program, read back from
// their PDF files with poppler's tools: what text is on which page, and where.

#include "gestion/dialogueetiquettes.h"
#include "gestion/etiquettes.h"
#include "gestion/fichedeclasse.h"

#include "errors.h"
#include "files.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QTimer>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

namespace {

struct Mot
{
    int page = 0; // from 0
    QString texte;
    QRectF mm;    // from the page's top left corner
};

QByteArray sortieDe(const QString &programme, const QStringList &arguments)
{
    QProcess process;
    process.start(programme, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    return process.readAllStandardOutput();
}

int pagesDe(const QString &pdf)
{
    const QRegularExpression pages(QStringLiteral("^Pages:\\s+(\\d+)$"), QRegularExpression::MultilineOption);
    const QRegularExpressionMatch m = pages.match(QString::fromUtf8(sortieDe(QStringLiteral("pdfinfo"), {pdf})));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// Every word of the PDF with its box, in reading order.
QList<Mot> motsDe(const QString &pdf)
{
    const QString html = QString::fromUtf8(sortieDe(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")}));
    const QRegularExpression balise(QStringLiteral("<page |<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" "
                                                   "yMax=\"([\\d.]+)\">([^<]*)</word>"));
    QList<Mot> mots;
    int page = -1;
    const double mm = 25.4 / 72;
    for (const QRegularExpressionMatch &m : balise.globalMatch(html)) {
        if (m.captured(0) == QStringLiteral("<page ")) {
            ++page;
            continue;
        }
        const double x0 = m.captured(1).toDouble(), y0 = m.captured(2).toDouble();
        const double x1 = m.captured(3).toDouble(), y1 = m.captured(4).toDouble();
        mots.append({page, m.captured(5), QRectF(QPointF(x0 * mm, y0 * mm), QPointF(x1 * mm, y1 * mm))});
    }
    return mots;
}

// How many pictures the PDF draws.
int imagesDe(const QString &pdf)
{
    const QStringList lignes =
        QString::fromUtf8(sortieDe(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf})).split(u'\n', Qt::SkipEmptyParts);
    return int(lignes.size()) - 2; // two lines of heading
}

const PlancheEtiquettes &plancheNommee(const QString &nom)
{
    for (const PlancheEtiquettes &planche : planchesEtiquettes())
        if (planche.nom == nom)
            return planche;
    qFatal("no label sheet %s", qPrintable(nom));
}

QList<LivreEtiquette> livres(int nombre)
{
    QList<LivreEtiquette> sortie;
    for (int i = 0; i < nombre; ++i)
        sortie.append({QStringLiteral("%1").arg(10007 + 37 * i, 5, 10, QLatin1Char('0')),
                       QStringLiteral("Titre%1 du livre").arg(i)});
    return sortie;
}

} // namespace

class GestionPdfTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dossier;

    QString chemin(const QString &nom) const { return m_dossier.filePath(nom); }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_dossier.isValid());
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("pdfimages")).isEmpty())
            QSKIP("poppler-utils (pdftotext, pdfinfo, pdfimages) is not installed");
    }

    void pagesAndNumbers_data()
    {
        QTest::addColumn<QString>("planche");
        QTest::addColumn<int>("premiere");
        QTest::addColumn<int>("nombre");
        QTest::addColumn<int>("pages"); // 0: refused, and no file
        QTest::newRow("a whole sheet") << "Avery L7160" << 1 << 21 << 1;
        QTest::newRow("one over the sheet") << "Avery L7160" << 2 << 21 << 2;
        QTest::newRow("the last label of 65") << "Avery L7651" << 65 << 1 << 1;
        QTest::newRow("four pages of 14") << "Avery L7163" << 14 << 30 << 4;
        QTest::newRow("no book") << "Avery L7160" << 1 << 0 << 0;
        QTest::newRow("position 0") << "Avery L7160" << 0 << 3 << 0;
        QTest::newRow("past the sheet") << "Avery L7160" << 22 << 3 << 0;
    }
    void pagesAndNumbers()
    {
        QFETCH(QString, planche);
        QFETCH(int, premiere);
        QFETCH(int, nombre);
        QFETCH(int, pages);
        const QString pdf = chemin(QStringLiteral("pages %1.pdf").arg(QTest::currentDataTag()));
        const auto ecris = [&] { ecrisEtiquettes(pdf, plancheNommee(planche), premiere, livres(nombre), {}); };
        if (pages == 0) {
            QCOMPARE(errorNumberOf(ecris), ErrorNumber::InvalidArgument);
            QVERIFY(!QFile::exists(pdf));
            return;
        }
        ecris();
        QCOMPARE(nombrePagesEtiquettes(plancheNommee(planche), premiere, nombre), pages);
        QCOMPARE(pagesDe(pdf), pages);
    }

    void sheets_data()
    {
        QTest::addColumn<int>("index");
        for (int i = 0; i < int(planchesEtiquettes().size()); ++i)
            QTest::newRow(qPrintable(planchesEtiquettes()[size_t(i)].nom)) << i;
    }

    // The sheets as their makers cut them: inside A4, labels apart, the same
    // margin on both sides and at top and bottom. Each number and its title
    // inside its own label, on its page, the number large.
    void sheets()
    {
        QFETCH(int, index);
        const PlancheEtiquettes &planche = planchesEtiquettes()[size_t(index)];
        QVERIFY(planche.pasHorizontal >= planche.largeur && planche.pasVertical >= planche.hauteur);
        const QRectF un = planche.rectangle(0), dernier = planche.rectangle(planche.parPage() - 1);
        QVERIFY(QRectF(0, 0, 210, 297).contains(un.united(dernier)));
        QVERIFY2(qAbs(un.left() - (210 - dernier.right())) < 0.3, "left and right margins differ");
        QVERIFY2(qAbs(un.top() - (297 - dernier.bottom())) < 0.3, "top and bottom margins differ");

        const QString pdf = chemin(QStringLiteral("places.pdf"));
        const int premiere = 3;
        const QList<LivreEtiquette> choisis = livres(planche.parPage() + 2);
        ecrisEtiquettes(pdf, planche, premiere, choisis, {});
        const QList<Mot> mots = motsDe(pdf);
        for (int i = 0; i < choisis.size(); ++i) {
            const PlaceEtiquette place = placeEtiquette(planche, premiere, i);
            const QRectF etiquette = planche.rectangle(place.position).adjusted(-0.2, -0.2, 0.2, 0.2);
            const QString titre = choisis[i].titre.section(u' ', 0, 0);
            int vus = 0;
            for (const Mot &mot : mots) {
                if (mot.texte != choisis[i].inventaire && mot.texte != titre)
                    continue;
                ++vus;
                QCOMPARE(mot.page, place.page);
                QVERIFY2(etiquette.contains(mot.mm), qPrintable(QStringLiteral("%1 outside label %2").arg(mot.texte).arg(place.position)));
                if (mot.texte == choisis[i].inventaire)
                    QVERIFY2(mot.mm.height() > planche.hauteur * 0.3, "the number is too small");
            }
            QCOMPARE(vus, 2);
        }
    }

    // A cover is drawn for each book that has a readable one, whatever the
    // case of its name; a damaged file or a number naming a path gets none.
    void covers()
    {
        QTemporaryDir base;
        QVERIFY(QDir(base.path()).mkpath(QStringLiteral("livres")));
        QImage couverture(60, 80, QImage::Format_RGB32);
        couverture.fill(Qt::darkGreen);
        QVERIFY(couverture.save(base.filePath(QStringLiteral("livres/00001.bmp")), "BMP"));
        QVERIFY(couverture.save(base.filePath(QStringLiteral("livres/00002.BMP")), "BMP"));
        QVERIFY(writeFileBytes(base.filePath(QStringLiteral("livres/00003.BMP")), "BM not a picture"));
        QVERIFY(couverture.save(base.filePath(QStringLiteral("dehors.BMP")), "BMP"));
        const QList<LivreEtiquette> choisis = {{QStringLiteral("00001"), QStringLiteral("Un")},
                                               {QStringLiteral("00002"), QStringLiteral("Deux")},
                                               {QStringLiteral("00003"), QStringLiteral("Trois")},
                                               {QStringLiteral("00004"), QStringLiteral("Quatre")},
                                               {QStringLiteral("..\\dehors"), QStringLiteral("Cinq")}};
        const QString pdf = chemin(QStringLiteral("couvertures.pdf"));
        ecrisEtiquettes(pdf, plancheNommee(QStringLiteral("Avery L7160")), 1, choisis, QDir::toNativeSeparators(base.path()));
        QCOMPARE(imagesDe(pdf), 2);
    }

    // Whatever the catalogue or the school database holds, a PDF comes out.
    void oddData()
    {
        const QString longue = QString(600, u'x') + QStringLiteral(" fin");
        const QList<LivreEtiquette> choisis = {{{}, {}},
                                               {QStringLiteral("  "), longue},
                                               {QString(80, u'9'), QStringLiteral("\n\t")},
                                               {QStringLiteral("../../etc/passwd"), QStringLiteral("Chemin")}};
        const QString etiquettes = chemin(QStringLiteral("bizarres.pdf"));
        for (const PlancheEtiquettes &planche : planchesEtiquettes()) {
            ecrisEtiquettes(etiquettes, planche, planche.parPage(), choisis, QDir::toNativeSeparators(m_dossier.path()));
            QCOMPARE(pagesDe(etiquettes), 2);
        }
        ClasseFiche classe;
        classe.numero = -1;
        classe.instituteur = longue;
        classe.enfants = {{{}, {}, {}}, {QStringLiteral("../x"), longue, longue}, {QStringLiteral("/"), QStringLiteral("\n"), {}}};
        const QString fiche = chemin(QStringLiteral("fiche-bizarre.pdf"));
        ecrisFicheDeClasse(fiche, classe, QDir::toNativeSeparators(m_dossier.path()));
        QCOMPARE(pagesDe(fiche), 1);
        QCOMPARE(imagesDe(fiche), 0);
    }

    // A write that fails leaves no file, nor half of one, and a former file
    // as it was.
    void failedWrite()
    {
        const PlancheEtiquettes &planche = plancheNommee(QStringLiteral("Avery L7160"));
        const QString absent = chemin(QStringLiteral("absent/etiquettes.pdf"));
        QVERIFY(errorOf([&] { ecrisEtiquettes(absent, planche, 1, livres(3), {}); }));
        QVERIFY(!QFileInfo::exists(chemin(QStringLiteral("absent"))));

        QTemporaryDir dossier;
        const QString pdf = dossier.filePath(QStringLiteral("etiquettes.pdf"));
        ecrisEtiquettes(pdf, planche, 1, livres(30), {});
        const qint64 taille = QFileInfo(pdf).size();
        QVERIFY(writeFileBytes(pdf, "ancien"));

        // A disk that fills up in the middle: no write past half the PDF.
        rlimit avant {};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &avant), 0);
        const auto signalAvant = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limite = avant;
        limite.rlim_cur = rlim_t(taille / 2);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limite), 0);
        const std::optional<AppError> erreur = errorOf([&] { ecrisEtiquettes(pdf, planche, 1, livres(30), {}); });
        setrlimit(RLIMIT_FSIZE, &avant);
        std::signal(SIGXFSZ, signalAvant);

        QVERIFY(erreur);
        QCOMPARE(fileContents(pdf), QByteArray("ancien"));
        QCOMPARE(QDir(dossier.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{QStringLiteral("etiquettes.pdf")});
    }

    // Surnames first, as the kiosk compares them (case and accents aside),
    // then first names.
    void childrenInKioskOrder()
    {
        const QList<EnfantFiche> enfants = {{"1", "Anna", "Petit"}, {"2", "Zoé", "dupont"}, {"3", "Lou", "Écuyer"},
                                            {"4", "Léo", "DURAND"}, {"5", "Emma", "dupont"}};
        QStringList ordre;
        for (const EnfantFiche &enfant : enfantsDansLOrdre(enfants))
            ordre << enfant.prenom;
        QCOMPARE(ordre, QStringList({"Emma", "Zoé", "Léo", "Lou", "Anna"}));
    }

    // Every child on the sheet, in the kiosk's order along the rows, a
    // photograph only where the school folder holds a readable one.
    void classSheet_data()
    {
        QTest::addColumn<int>("nombre");
        QTest::addColumn<int>("pages");
        QTest::newRow("empty class") << 0 << 1;
        QTest::newRow("a full page") << enfantsParPageFiche() << 1;
        QTest::newRow("one child over") << enfantsParPageFiche() + 1 << 2;
    }
    void classSheet()
    {
        QFETCH(int, nombre);
        QFETCH(int, pages);
        QTemporaryDir ecole;
        QImage photo(90, 120, QImage::Format_RGB32);
        photo.fill(Qt::darkCyan);
        ClasseFiche classe;
        classe.numero = 4;
        classe.instituteur = QStringLiteral("Mme Lefèvre");
        int photos = 0;
        // Surnames Z to A: the reverse of the kiosk's order.
        for (int i = 0; i < nombre; ++i) {
            const QString matricule = QString::number(100 + i);
            if (i % 3 == 0)
                photos += photo.save(ecole.filePath(matricule + QStringLiteral(".BMP")), "BMP") ? 1 : 0;
            else if (i % 3 == 1)
                QVERIFY(writeFileBytes(ecole.filePath(matricule + QStringLiteral(".BMP")), "BM damaged"));
            // First names of one word for pdftotext, accents included.
            const QString prenom = QStringLiteral("Léa") + QChar(u'a' + i / 26) + QChar(u'a' + i % 26);
            classe.enfants.append({matricule, prenom, QStringLiteral("NOM%1").arg(QChar(u'Z' - i % 26)) + QString::number(i)});
        }
        const QString pdf = chemin(QStringLiteral("classe.pdf"));
        ecrisFicheDeClasse(pdf, classe, QDir::toNativeSeparators(ecole.path()));
        QCOMPARE(pagesDe(pdf), pages);
        QCOMPARE(imagesDe(pdf), photos);

        QStringList attendus, lus;
        for (const EnfantFiche &enfant : enfantsDansLOrdre(classe.enfants))
            attendus << enfant.prenom;
        const QList<Mot> mots = motsDe(pdf);
        for (const Mot &mot : mots)
            if (mot.texte.startsWith(QStringLiteral("Léa")))
                lus << mot.texte;
        QCOMPARE(lus, attendus);
        QVERIFY(std::any_of(mots.begin(), mots.end(), [](const Mot &mot) { return mot.texte == QStringLiteral("Lefèvre"); }));
    }

    // "Créer le PDF" asks before it replaces a file, then offers to open the
    // new one; the answers are given to the message boxes as they come.
    void dialogAsksBeforeReplacing()
    {
        const QString pdf = chemin(QStringLiteral("remplace.pdf"));
        QVERIFY(writeFileBytes(pdf, "ancien"));
        DialogueEtiquettes dialogue(livres(3), {});
        dialogue.findChild<QLineEdit *>(QStringLiteral("fichier"))->setText(pdf);
        auto *boutons = dialogue.findChild<QDialogButtonBox *>();
        QVERIFY(boutons);
        QList<QMessageBox::StandardButton> reponses;
        int posees = 0;
        QTimer repondeur;
        connect(&repondeur, &QTimer::timeout, [&] {
            if (auto *boite = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()); boite && !reponses.isEmpty()) {
                ++posees;
                boite->button(reponses.takeFirst())->click();
            }
        });
        repondeur.start(10);

        reponses = {QMessageBox::No};
        emit boutons->accepted();
        QCOMPARE(posees, 1);
        QCOMPARE(fileContents(pdf), QByteArray("ancien"));
        QCOMPARE(dialogue.result(), 0);

        reponses = {QMessageBox::Yes, QMessageBox::No}; // replace it, do not open it
        emit boutons->accepted();
        QCOMPARE(posees, 3);
        QCOMPARE(pagesDe(pdf), 1);
        QCOMPARE(dialogue.result(), int(QDialog::Accepted));
    }

    // The dialog: a click on the drawing of the sheet chooses the first free
    // label, another sheet keeps it within its labels, and the PDF follows.
    void dialog()
    {
        DialogueEtiquettes dialogue(livres(25), {});
        auto *planches = dialogue.findChild<QComboBox *>(QStringLiteral("planche"));
        auto *premiere = dialogue.findChild<QSpinBox *>(QStringLiteral("premiere"));
        auto *fichier = dialogue.findChild<QLineEdit *>(QStringLiteral("fichier"));
        auto *apercu = dialogue.findChild<QWidget *>(QStringLiteral("apercu"));
        QVERIFY(planches && premiere && fichier && apercu);
        QVERIFY(fichier->text().endsWith(QStringLiteral("etiquettes.pdf")));
        planches->setCurrentIndex(0);
        QCOMPARE(dialogue.planche().nom, QStringLiteral("Avery L7160"));
        dialogue.resize(700, 460);
        dialogue.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialogue));

        // The middle of the sheet: the middle label of the fourth row.
        QTest::mouseClick(apercu, Qt::LeftButton, {}, apercu->rect().center());
        QCOMPARE(dialogue.premierePosition(), 11);

        fichier->setText(QStringLiteral("~/étiquettes.pdf"));
        QCOMPARE(dialogue.fichier(), QDir::home().filePath(QStringLiteral("étiquettes.pdf")));
        fichier->setText(chemin(QStringLiteral("dialogue.pdf")));
        dialogue.creePdf();
        QCOMPARE(pagesDe(chemin(QStringLiteral("dialogue.pdf"))), 2);

        premiere->setValue(21);
        planches->setCurrentIndex(planches->findText(QStringLiteral("Avery L7163"), Qt::MatchStartsWith));
        QCOMPARE(dialogue.premierePosition(), 14);
    }
};

QTEST_MAIN(GestionPdfTest)
#include "tst_gestion_pdf.moc"
