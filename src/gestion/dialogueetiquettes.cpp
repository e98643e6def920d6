#include "gestion/dialogueetiquettes.h"

#include "platform/apperror.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QUrl>
#include <QVBoxLayout>

#include <functional>

namespace {

const QString kClePlanche = QStringLiteral("etiquettes/planche");

} // namespace

// The first page of the sheet, drawn small: the labels already used greyed
// and crossed, those the books will take in blue with their number, the
// rest blank. A click on a label makes it the first free one.
class ApercuPlanche : public QWidget
{
public:
    std::function<void(int position)> clic;

    void montre(const PlancheEtiquettes &planche, int premiere, QStringList numeros)
    {
        m_planche = planche;
        m_premiere = premiere;
        m_numeros = std::move(numeros);
        update();
    }

    QSize sizeHint() const override { return {230, 320}; }
    QSize minimumSizeHint() const override { return {150, 210}; }

protected:
    // The sheet's rectangle in the widget, A4 proportions, centred.
    QRectF feuille() const
    {
        const QRectF zone = QRectF(rect()).adjusted(6, 6, -6, -6);
        const double echelle = std::min(zone.width() / 210, zone.height() / 297);
        const QSizeF taille(210 * echelle, 297 * echelle);
        return {zone.center() - QPointF(taille.width() / 2, taille.height() / 2), taille};
    }

    QRectF etiquette(int position) const
    {
        const QRectF f = feuille();
        const double echelle = f.width() / 210;
        const QRectF mm = m_planche.rectangle(position);
        return {f.left() + mm.left() * echelle, f.top() + mm.top() * echelle, mm.width() * echelle,
                mm.height() * echelle};
    }

    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF f = feuille();
        p.fillRect(f.translated(2, 2), QColor(0, 0, 0, 50));
        p.fillRect(f, Qt::white);
        p.setPen(palette().color(QPalette::Mid));
        p.drawRect(f);

        QFont petite = font();
        petite.setPixelSize(std::max(6, int(etiquette(0).height() * 0.32)));
        p.setFont(petite);
        for (int position = 0; position < m_planche.parPage(); ++position) {
            const QRectF r = etiquette(position).adjusted(0.5, 0.5, -0.5, -0.5);
            const int livre = position - (m_premiere - 1);
            if (livre < 0) {
                p.setPen(QColor(0xa0, 0xa0, 0xa0));
                p.setBrush(QBrush(QColor(0xc8, 0xc8, 0xc8), Qt::BDiagPattern));
            } else if (livre < m_numeros.size()) {
                p.setPen(QColor(0x1f, 0x4e, 0x8c));
                p.setBrush(QColor(0xcf, 0xe0, 0xf5));
            } else {
                p.setPen(QColor(0xb8, 0xbd, 0xc4));
                p.setBrush(Qt::NoBrush);
            }
            p.drawRoundedRect(r, 2, 2);
            if (livre >= 0 && livre < m_numeros.size() && r.height() >= 8) {
                p.setPen(QColor(0x1f, 0x2a, 0x44));
                p.drawText(r, Qt::AlignCenter, m_numeros[livre]);
            }
        }
    }

    void mousePressEvent(QMouseEvent *event) override
    {
        for (int position = 0; position < m_planche.parPage(); ++position) {
            if (etiquette(position).contains(event->position()) && clic) {
                clic(position + 1);
                return;
            }
        }
    }

private:
    PlancheEtiquettes m_planche;
    int m_premiere = 1;
    QStringList m_numeros;
};

DialogueEtiquettes::DialogueEtiquettes(const QList<LivreEtiquette> &livres, const QString &dossierBase, QWidget *parent)
    : QDialog(parent), m_livres(livres), m_dossierBase(dossierBase), m_planches(new QComboBox), m_premiere(new QSpinBox),
      m_fichier(new QLineEdit), m_apercu(new ApercuPlanche), m_resume(new QLabel)
{
    setWindowTitle(QStringLiteral("Étiquettes des livres"));

    m_planches->setObjectName(QStringLiteral("planche"));
    m_premiere->setObjectName(QStringLiteral("premiere"));
    m_fichier->setObjectName(QStringLiteral("fichier"));
    m_apercu->setObjectName(QStringLiteral("apercu"));
    m_resume->setWordWrap(true);

    const QString dernier = QSettings().value(kClePlanche).toString();
    for (const PlancheEtiquettes &planche : planchesEtiquettes()) {
        m_planches->addItem(planche.libelle());
        if (planche.nom == dernier)
            m_planches->setCurrentIndex(m_planches->count() - 1);
    }
    m_premiere->setMinimum(1);
    m_premiere->setToolTip(QStringLiteral("Sur une planche déjà entamée, la première étiquette encore libre "
                                          "(1 en haut à gauche, puis ligne par ligne). Un clic sur l'aperçu la choisit aussi."));
    m_fichier->setText(QDir::toNativeSeparators(QDir::home().filePath(QStringLiteral("etiquettes.pdf"))));

    auto *parcourir = new QPushButton(QStringLiteral("&Parcourir…"));
    auto *ligneFichier = new QHBoxLayout;
    ligneFichier->addWidget(m_fichier, 1);
    ligneFichier->addWidget(parcourir);

    auto *formulaire = new QFormLayout;
    const qsizetype n = m_livres.size();
    formulaire->addRow(QStringLiteral("Livres :"),
                       new QLabel(n == 1 ? QStringLiteral("1 livre choisi") : QStringLiteral("%1 livres choisis").arg(n)));
    formulaire->addRow(QStringLiteral("&Planche :"), m_planches);
    formulaire->addRow(QStringLiteral("Première étiquette &libre :"), m_premiere);
    auto *etiquetteFichier = new QLabel(QStringLiteral("&Fichier :"));
    etiquetteFichier->setBuddy(m_fichier);
    formulaire->addRow(etiquetteFichier, ligneFichier);
    formulaire->addRow(m_resume);

    auto *gauche = new QVBoxLayout;
    gauche->addLayout(formulaire);
    gauche->addStretch(1);
    auto *legende = new QLabel(QStringLiteral("Hachurées : étiquettes déjà utilisées. "
                                              "Un clic sur une étiquette en fait la première libre."));
    legende->setWordWrap(true);
    legende->setMaximumWidth(m_apercu->sizeHint().width());
    QFont petite = legende->font();
    petite.setPointSizeF(petite.pointSizeF() * 0.9);
    legende->setFont(petite);
    auto *droite = new QVBoxLayout;
    droite->addWidget(m_apercu, 1);
    droite->addWidget(legende);
    auto *haut = new QHBoxLayout;
    haut->addLayout(gauche, 1);
    haut->addLayout(droite);

    auto *boutons = new QDialogButtonBox;
    QPushButton *creer = boutons->addButton(QStringLiteral("&Créer le PDF"), QDialogButtonBox::AcceptRole);
    creer->setDefault(true);
    creer->setEnabled(!m_livres.isEmpty());
    boutons->addButton(QDialogButtonBox::Close)->setText(QStringLiteral("Fermer"));

    auto *tout = new QVBoxLayout(this);
    tout->addLayout(haut, 1);
    tout->addWidget(boutons);

    connect(m_planches, &QComboBox::currentIndexChanged, this, [this] { plancheChoisie(); });
    connect(m_premiere, &QSpinBox::valueChanged, this, [this] { metAJour(); });
    connect(m_fichier, &QLineEdit::textEdited, this, [this] { m_remplacementAccepte = false; });
    connect(parcourir, &QPushButton::clicked, this, [this] { choisisFichier(); });
    connect(boutons, &QDialogButtonBox::accepted, this, [this] { creeEtPropose(); });
    connect(boutons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    m_apercu->clic = [this](int position) { m_premiere->setValue(position); };

    plancheChoisie();
}

const PlancheEtiquettes &DialogueEtiquettes::planche() const
{
    return planchesEtiquettes().at(std::max(0, m_planches->currentIndex()));
}

int DialogueEtiquettes::premierePosition() const
{
    return m_premiere->value();
}

QString DialogueEtiquettes::fichier() const
{
    // A name typed alone, or after "~/", is in the home folder.
    QString nom = QDir::fromNativeSeparators(m_fichier->text().trimmed());
    if (nom.isEmpty())
        return {};
    if (nom.startsWith(QStringLiteral("~/")))
        nom = nom.mid(2);
    return QDir::home().absoluteFilePath(nom);
}

void DialogueEtiquettes::plancheChoisie()
{
    m_premiere->setMaximum(planche().parPage());
    metAJour();
}

void DialogueEtiquettes::metAJour()
{
    const PlancheEtiquettes &p = planche();
    const int premiere = premierePosition();
    QStringList numeros;
    for (qsizetype i = 0; i < m_livres.size() && i < p.parPage(); ++i)
        numeros << m_livres[i].inventaire.trimmed();
    m_apercu->montre(p, premiere, numeros);

    const int n = int(m_livres.size());
    const int pages = nombrePagesEtiquettes(p, premiere, n);
    if (n == 0) {
        m_resume->setText(QStringLiteral("Aucun livre n'est choisi."));
    } else {
        const int premierePage = std::min(n, p.parPage() - premiere + 1);
        m_resume->setText(QStringLiteral("%1 sur %2 : %3 sur la première planche, à partir de l'étiquette %4.")
                              .arg(n == 1 ? QStringLiteral("1 étiquette") : QStringLiteral("%1 étiquettes").arg(n),
                                   pages == 1 ? QStringLiteral("1 page") : QStringLiteral("%1 pages").arg(pages))
                              .arg(premierePage)
                              .arg(premiere));
    }
}

void DialogueEtiquettes::choisisFichier()
{
    const QString choisi = QFileDialog::getSaveFileName(this, QStringLiteral("Enregistrer les étiquettes"), fichier(),
                                                        QStringLiteral("Documents PDF (*.pdf)"));
    if (choisi.isEmpty())
        return;
    QString nom = choisi;
    if (!nom.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive))
        nom += QStringLiteral(".pdf");
    m_fichier->setText(QDir::toNativeSeparators(nom));
    // The file dialog asked already, for the name chosen there.
    m_remplacementAccepte = nom == choisi;
}

void DialogueEtiquettes::creePdf()
{
    if (fichier().isEmpty())
        throw AppError(ErrorNumber::BadFileName, QStringLiteral("Indiquez le fichier PDF à créer."));
    ecrisEtiquettes(fichier(), planche(), premierePosition(), m_livres, m_dossierBase);
    QSettings().setValue(kClePlanche, planche().nom);
}

void DialogueEtiquettes::creeEtPropose()
{
    const QString nom = QDir::toNativeSeparators(fichier());
    if (!m_remplacementAccepte && QFileInfo::exists(fichier()) &&
        QMessageBox::question(this, windowTitle(),
                              QStringLiteral("Le fichier « %1 » existe déjà. Le remplacer ?").arg(nom)) != QMessageBox::Yes)
        return;
    try {
        creePdf();
    } catch (const AppError &erreur) {
        QMessageBox::warning(this, windowTitle(), erreur.description());
        return;
    }
    if (QMessageBox::question(this, windowTitle(), QStringLiteral("Le PDF « %1 » est créé. L'ouvrir maintenant ?").arg(nom)) ==
        QMessageBox::Yes)
        QDesktopServices::openUrl(QUrl::fromLocalFile(fichier()));
    accept();
}
