#include "gestion/dialoguelivre.h"

#include <QCheckBox>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStringListModel>
#include <QToolButton>

namespace {

// Completes the word being typed among the keywords, not the whole field.
class CompletionDuDernierMot : public QCompleter
{
public:
    using QCompleter::QCompleter;

    QStringList splitPath(const QString &path) const override
    {
        return {path.section(QLatin1Char(' '), -1).trimmed()};
    }

    QString pathFromIndex(const QModelIndex &index) const override
    {
        const QString debut = widget() ? static_cast<QLineEdit *>(widget())->text() : QString();
        const int espace = int(debut.lastIndexOf(QLatin1Char(' ')));
        return debut.left(espace + 1) + index.data().toString();
    }
};

} // namespace

DialogueLivre::DialogueLivre(const FicheLivre &livre, const QStringList &descripteurs, const CouleursClasses &couleurs,
                             Enregistre enregistre, QWidget *parent)
    : QDialog(parent), m_livre(livre), m_enregistre(std::move(enregistre)), m_numero(new QLineEdit(livre.inventaire)),
      m_titre(new QLineEdit(livre.titre)), m_editeur(new QLineEdit(livre.editeur)), m_dewey(new QLineEdit(livre.dewey)),
      m_motscles(new QLineEdit(livre.motscles)), m_pretable(new QCheckBox(QStringLiteral("Les enfants peuvent l'emprunter"))),
      m_zoneCouverture(new QVBoxLayout)
{
    setWindowTitle(livre.rowid < 0 ? QStringLiteral("Nouveau livre") : QStringLiteral("Livre %1").arg(livre.inventaire));
    m_numero->setObjectName(QStringLiteral("numero"));
    m_titre->setObjectName(QStringLiteral("titre"));
    m_editeur->setObjectName(QStringLiteral("editeur"));
    m_dewey->setObjectName(QStringLiteral("dewey"));
    m_motscles->setObjectName(QStringLiteral("motscles"));
    m_pretable->setObjectName(QStringLiteral("pretable"));
    m_numero->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d{0,5}")), m_numero));
    m_numero->setMaxLength(5);
    m_pretable->setChecked(livre.rowid < 0 || livre.pretable());

    // The ten classes as the kiosk colours them: a click puts the class's
    // digit first, the teacher types the rest.
    auto *classes = new QHBoxLayout;
    classes->setSpacing(2);
    for (int i = 0; i < 10; ++i) {
        auto *bouton = new QToolButton;
        bouton->setObjectName(QStringLiteral("classeDewey%1").arg(i));
        bouton->setText(QString::number(i));
        bouton->setToolTip(QStringLiteral("Classe %1 : %1xx").arg(i));
        const QColor fond = couleurs.couleur(i);
        // Dark text on light colours, as the eye weighs them.
        const QColor texte = 0.299 * fond.red() + 0.587 * fond.green() + 0.114 * fond.blue() < 140 ? Qt::white : Qt::black;
        bouton->setStyleSheet(QStringLiteral("QToolButton { background: %1; color: %2; border: 1px solid #777; "
                                             "min-width: 22px; min-height: 22px; font-weight: bold; }")
                                  .arg(fond.name(), texte.name()));
        connect(bouton, &QToolButton::clicked, this, [this, i] {
            const QString reste = m_dewey->text().mid(1);
            m_dewey->setText(QString::number(i) + reste);
            m_dewey->setFocus();
        });
        classes->addWidget(bouton);
    }
    classes->addStretch();
    auto *ligneDewey = new QVBoxLayout;
    ligneDewey->addLayout(classes);
    ligneDewey->addWidget(m_dewey);

    auto *completion = new CompletionDuDernierMot(descripteurs, m_motscles);
    completion->setCaseSensitivity(Qt::CaseInsensitive);
    completion->setFilterMode(Qt::MatchStartsWith);
    m_motscles->setCompleter(completion);
    m_motscles->setPlaceholderText(QStringLiteral("des mots séparés par des espaces"));

    auto *formulaire = new QFormLayout;
    formulaire->addRow(QStringLiteral("&Numéro d'inventaire :"), m_numero);
    formulaire->addRow(QStringLiteral("&Titre :"), m_titre);
    formulaire->addRow(QStringLiteral("&Éditeur :"), m_editeur);
    auto *etiquetteDewey = new QLabel(QStringLiteral("&Dewey :"));
    etiquetteDewey->setBuddy(m_dewey);
    formulaire->addRow(etiquetteDewey, ligneDewey);
    formulaire->addRow(QStringLiteral("&Mots clés :"), m_motscles);
    formulaire->addRow(QString(), m_pretable);

    auto *boutons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel);
    boutons->button(QDialogButtonBox::Save)->setText(QStringLiteral("Enregistrer"));
    boutons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Annuler"));
    connect(boutons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(boutons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *colonnes = new QHBoxLayout;
    colonnes->addLayout(formulaire, 1);
    colonnes->addLayout(m_zoneCouverture);
    auto *tout = new QVBoxLayout(this);
    tout->addLayout(colonnes);
    tout->addWidget(boutons);
    resize(720, sizeHint().height());
}

void DialogueLivre::accept()
{
    FicheLivre f = m_livre;
    f.inventaire = Bibliotheque::inventaireNormalise(m_numero->text());
    if (f.inventaire.isEmpty()) {
        QMessageBox::warning(this, windowTitle(), QStringLiteral("Donnez un numéro d'inventaire : des chiffres, cinq au plus."));
        m_numero->setFocus();
        return;
    }
    f.titre = m_titre->text().trimmed();
    f.editeur = m_editeur->text().trimmed();
    f.dewey = m_dewey->text().trimmed();
    f.motscles = m_motscles->text().simplified();
    // A value of the management program's own (neither O nor N) stays
    // unless the box is changed.
    if (m_livre.rowid < 0 || m_pretable->isChecked() != m_livre.pretable())
        f.emprunt = m_pretable->isChecked() ? QStringLiteral("O") : QStringLiteral("N");
    try {
        m_livre = m_enregistre(f);
    } catch (const AppError &erreur) {
        QMessageBox::warning(this, windowTitle(), erreur.description());
        return;
    }
    QDialog::accept();
}
