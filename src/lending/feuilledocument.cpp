#include "lending/feuilledocument.h"

#include "module/appcontext.h"
#include "lending/feuilleclasse.h"
#include "lending/pret.h"
#include "data/jetliteral.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QStringList>

#include <utility>

namespace {

const QColor kBlue(0, 0, 255);
const QColor kRed(255, 0, 0);
const QColor kPanelFace(192, 192, 192);

const QString kQuestion = QStringLiteral(" Quel livre veux-tu emprunter ?");

// Place of digit button i inside the pad: 1 2 3 / 4 5 6 / 7 8 9, then 0.
QPoint digitPlace(int i)
{
    if (i == 0)
        return {120, 3600};
    const int row = (i - 1) / 3;
    const int column = (i - 1) % 3;
    return {120 + 960 * column, 1080 + 840 * row};
}

} // namespace

feuilledocument::feuilledocument(AppContext &context)
    : LumaScreen(context, QStringLiteral("feuilledocument"), QColor(128, 255, 128))
{
    Geometry &geometry = context.geometry();

    m_panel3D1 = makeTitleBand(kQuestion, 21, kBlue);
    m_picture3 = makeSpeakerAt(QStringLiteral("Picture3"), QStringLiteral("Fermer"), 8100, 780);
    connect(m_picture3, &PictureImage::clicked, this, [this] { Picture3_Click(); });
    m_command3D3 = makeButton(QStringLiteral("Command3D3"), asset(QStringLiteral("door")), QStringLiteral("Fermer"),
                              8640, 180, 825, 1125);
    setDoor(m_command3D3);
    connect(m_command3D3, &QAbstractButton::clicked, this, [this] { Command3D3_Click(); });

    // The cover, in its frame.
    m_panel3D2 = new Panel3D(this);
    m_panel3D2->setObjectName(QStringLiteral("Panel3D2"));
    m_panel3D2->setBackground(kPanelFace);
    place(m_panel3D2, 240, 1920, 3735, 4575);
    m_dessin1 = new PictureImage(m_panel3D2);
    m_dessin1->setObjectName(QStringLiteral("Dessin1"));
    m_dessin1->setAccessibleName(QStringLiteral("Le livre"));
    place(m_dessin1, 120, 120, 3495, 4335);

    // The number pad.
    m_panel3D3 = new Panel3D(this);
    m_panel3D3->setObjectName(QStringLiteral("Panel3D3"));
    m_panel3D3->setBackground(kPanelFace);
    place(m_panel3D3, 4200, 1920, 3135, 4575);

    m_text1 = new QLineEdit(m_panel3D3);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setAccessibleName(QStringLiteral("Le numéro du livre"));
    m_text1->setAlignment(Qt::AlignCenter);
    m_text1->setFont(geometry.font(QStringLiteral("Arial"), 27.75, true));
    QPalette textPalette = m_text1->palette();
    textPalette.setColor(QPalette::Text, kRed);
    textPalette.setColor(QPalette::Base, QColor(224, 224, 224));
    m_text1->setPalette(textPalette);
    // Only digits reach the lookup, typed or sent by a barcode scanner.
    m_text1->setMaxLength(kMaxDigits);
    m_text1->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,5}")), m_text1));
    m_text1->installEventFilter(this);
    place(m_text1, 120, 120, 2895, 945);
    connect(m_text1, &QLineEdit::textChanged, this, [this] { Text1_Change(); });

    const QFont digitFont = geometry.font(QStringLiteral("Times New Roman"), 24, true);
    for (int i = 0; i < 10; ++i) {
        const QPoint at = digitPlace(i);
        Button3D *digit = makeButton(QStringLiteral("Command3D1_%1").arg(i), QString(),
                                     Module11::motChiffre(i), at.x(), at.y(), 975, 855, m_panel3D3);
        digit->setText(QString::number(i));
        digit->setFont(digitFont);
        connect(digit, &QAbstractButton::clicked, this, [this, i] { Command3D1_Click(i); });
        m_command3D1[i] = digit;
    }
    m_command3D2 = makeButton(QStringLiteral("Command3D2"), asset(QStringLiteral("eraser")),
                              QStringLiteral("Effacer"), 1080, 3600, 1935, 855, m_panel3D3);
    connect(m_command3D2, &QAbstractButton::clicked, this, [this] { Command3D2_Click(); });

    // Borrow and return, each with its label.
    const QFont labelFont = geometry.font(QStringLiteral("Arial"), 15.75);
    m_command3D4 = makeButton(QStringLiteral("Command3D4"), asset(QStringLiteral("borrow")),
                              QStringLiteral("J'emprunte"), 7560, 1920, 1815, 1815);
    connect(m_command3D4, &QAbstractButton::clicked, this, [this] { Command3D4_Click(); });
    m_etiquette1 = makeLabel(QStringLiteral("Etiquette1"), QStringLiteral("J'emprunte"), 7560, 3720, 1815, 495,
                             labelFont, Qt::black, Qt::AlignCenter);
    m_command3D5 = makeButton(QStringLiteral("Command3D5"), asset(QStringLiteral("return")),
                              QStringLiteral("Je rends"), 7560, 4320, 1815, 1935);
    connect(m_command3D5, &QAbstractButton::clicked, this, [this] { Command3D5_Click(); });
    m_etiquette2 = makeLabel(QStringLiteral("Etiquette2"), QStringLiteral("Je rends"), 7560, 6240, 1815, 495,
                             labelFont, Qt::black, Qt::AlignCenter);
    setLoanButtons(false, false);
}

void feuilledocument::Form_Load()
{
    loadScreen();
}

void feuilledocument::Form_Activate()
{
    m_text1->clear();
    m_command3D4->hide();
    m_etiquette1->hide();
}

void feuilledocument::setTitle(const QString &text, const QColor &color)
{
    m_panel3D1->setTextColor(color);
    m_panel3D1->setText(text);
}

void feuilledocument::setLoanButtons(bool borrow, bool giveBack)
{
    m_command3D4->setVisible(borrow);
    m_etiquette1->setVisible(borrow);
    m_command3D5->setVisible(giveBack);
    m_etiquette2->setVisible(giveBack);
}

void feuilledocument::showCover(const QString &inventaire)
{
    if (inventaire.isEmpty())
        return;
    m_dessin1->setPicture(module().couverture(inventaire, m_dessin1->displaySize()));
}

void feuilledocument::Text1_Change()
{
    const QString typed = m_text1->text();
    if (typed.isEmpty())
        return;
    bool isNumber = false;
    const qlonglong value = typed.toLongLong(&isNumber);
    const QString number = isNumber && value >= 0 ? QStringLiteral("%1").arg(value, 5, 10, QLatin1Char('0')) : typed;
    const QString criterion =
        QStringLiteral("emprunt like 'O' AND inventaire like '") + jetLikeLiteral(number) + QStringLiteral("'");

    Feuilleenfant &d = context().données();
    Cursor &catalogue = d.Donnée2();
    bool found = false;
    const bool searched = module().trapped([&] {
        if (!(catalogue.bof() && catalogue.eof()))
            catalogue.moveFirst();
        catalogue.findFirst(criterion);
        found = !catalogue.noMatch();
    });
    m_montre.clear();
    // The digit touched is said, then the title found, in one breath.
    const QString chiffre = std::exchange(m_chiffreTouché, QString());
    if (!searched || !found) {
        // A catalogue that cannot be read is shown as no document: nothing
        // may be lent from a lookup that did not succeed.
        setLoanButtons(false, false);
        setTitle(QStringLiteral(" Pas de livre avec ce numéro..."), kBlue);
        m_dessin1->clear();
        module().Dit(chiffre);
        return;
    }

    QString inventaire;
    QString titre;
    setLoanButtons(false, false);
    module().trapped([&] {
        m_montre = etatMontre(d);
        if (d.Etiquette6().text() == QStringLiteral("N")) {
            titre = d.Etiquette5().text();
            setTitle(QStringLiteral(" ") + titre, kRed);
            setLoanButtons(true, false);
        } else {
            setTitle(QStringLiteral(" Ce livre est déjà emprunté."), kBlue);
        }
        inventaire = d.Etiquette4().text();
    });
    showCover(inventaire);
    QStringList paroles{chiffre, titre.trimmed()};
    paroles.removeAll(QString());
    module().Dit(paroles.join(QStringLiteral(", ")));
}

void feuilledocument::Command3D1_Click(int Index)
{
    if (m_text1->text().size() >= kMaxDigits)
        return;
    m_chiffreTouché = Module11::motChiffre(Index);
    m_text1->setText(m_text1->text() + QString::number(Index)); // the lookup says it
    m_chiffreTouché.clear();
    m_text1->setFocus();
}

void feuilledocument::Command3D2_Click()
{
    m_text1->clear();
    m_dessin1->clear();
    m_montre.clear();
    setTitle(kQuestion, kBlue);
    // Nothing is shown any more that the borrow button could lend.
    m_command3D4->hide();
    m_etiquette1->hide();
    m_text1->setFocus();
}

void feuilledocument::Command3D3_Click()
{
    module().JoueSon(module().CheminBase() + QStringLiteral("\\SONS\\FERME.WAV"));
    hide();
}

void feuilledocument::Picture3_Click()
{
    module().JoueSon(module().CheminBase() + QStringLiteral("\\SONS\\FERME.WAV"));
}

void feuilledocument::retientDocumentMontre()
{
    m_montre.clear();
    module().trapped([&] { m_montre = etatMontre(context().données()); });
}

void feuilledocument::Command3D4_Click()
{
    if (Emprunte(module(), m_montre) == IssuePret::Change) {
        // Another kiosk lent it (or it changed) since it was shown: nothing
        // was written; the lookup again shows what it is now.
        Text1_Change();
        return;
    }
    backToChildChoice();
}

void feuilledocument::Command3D5_Click()
{
    // Returned (or changed) elsewhere since it was shown, nothing is written;
    // either way the child choice waits, and the child's photograph then
    // shows what the catalogue now holds.
    Rend(module(), m_montre);
    backToChildChoice();
}

void feuilledocument::backToChildChoice()
{
    if (module().programEnded())
        return;
    context().FeuilleClasse().resetToWaiting();
    hide();
    m_dessin1->clear();
}

bool feuilledocument::eventFilter(QObject *watched, QEvent *event)
{
    // The insertion point goes after the last digit whenever the box gains the focus.
    if (watched == m_text1 && event->type() == QEvent::FocusIn)
        m_text1->setCursorPosition(int(m_text1->text().size()));
    return LumaScreen::eventFilter(watched, event);
}
