#include "gestion/pageenfants.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QString deuxChiffres(int numero)
{
    return QStringLiteral("%1").arg(numero, 2, 10, QLatin1Char('0'));
}

} // namespace

PageEnfants::PageEnfants(Bibliotheque &bibliotheque, QWidget *parent)
    : QWidget(parent), m_bibliotheque(bibliotheque), m_classes(new QComboBox), m_liste(new QTableWidget)
{
    m_classes->setObjectName(QStringLiteral("classe"));
    for (int n = 1; n <= 15; ++n)
        m_classes->addItem(QStringLiteral("Classe %1").arg(n), n);
    connect(m_classes, &QComboBox::currentIndexChanged, this, [this] { recharge(); });

    m_liste->setObjectName(QStringLiteral("listeEnfants"));
    m_liste->setColumnCount(5);
    m_liste->setHorizontalHeaderLabels({QStringLiteral("Nom"), QStringLiteral("Prénom"), QStringLiteral("Niveau"),
                                        QStringLiteral("Matricule"), QStringLiteral("Livre emprunté")});
    m_liste->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_liste->setSelectionMode(QAbstractItemView::SingleSelection);
    m_liste->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_liste->verticalHeader()->hide();
    m_liste->horizontalHeader()->setSectionResizeMode(4, QHeaderView::Stretch);
    connect(m_liste, &QTableWidget::cellDoubleClicked, this, [this] { modifie(); });

    auto *haut = new QHBoxLayout;
    haut->addWidget(m_classes);
    haut->addStretch();
    auto *actions = new QHBoxLayout;
    const auto bouton = [&](const QString &texte, const QString &nom, auto action) {
        auto *b = new QPushButton(texte);
        b->setObjectName(nom);
        connect(b, &QPushButton::clicked, this, action);
        actions->addWidget(b);
    };
    bouton(QStringLiteral("&Ajouter…"), QStringLiteral("ajouterEnfant"), [this] { ajoute(); });
    bouton(QStringLiteral("&Modifier…"), QStringLiteral("modifierEnfant"), [this] { modifie(); });
    bouton(QStringLiteral("&Supprimer"), QStringLiteral("supprimerEnfant"), [this] { supprime(); });
    actions->addStretch();
    bouton(QStringLiteral("&Fiche de la classe…"), QStringLiteral("ficheClasse"), [this] {
        if (imprimeFiche)
            imprimeFiche(classeChoisie(), m_enfants);
    });

    auto *tout = new QVBoxLayout(this);
    tout->addLayout(haut);
    tout->addWidget(m_liste, 1);
    tout->addLayout(actions);
}

int PageEnfants::classeChoisie() const
{
    return m_classes->currentData().toInt();
}

void PageEnfants::choisitClasse(int numero)
{
    m_classes->setCurrentIndex(m_classes->findData(numero));
}

std::optional<FicheEnfant> PageEnfants::enfantChoisi() const
{
    const int ligne = m_liste->currentRow();
    if (ligne < 0 || ligne >= m_enfants.size() || !m_liste->selectionModel()->isRowSelected(ligne))
        return std::nullopt;
    return m_enfants[ligne];
}

void PageEnfants::recharge()
{
    const std::optional<FicheEnfant> avant = enfantChoisi();
    m_fichesClasses = m_bibliotheque.classes();
    for (int i = 0; i < m_classes->count(); ++i) {
        const int n = m_classes->itemData(i).toInt();
        QString texte = QStringLiteral("Classe %1").arg(n);
        for (const FicheClasse &c : std::as_const(m_fichesClasses))
            if (c.numero == n && !c.instituteur.isEmpty())
                texte += QStringLiteral(" – ") + c.instituteur;
        m_classes->setItemText(i, texte);
    }
    m_enfants = m_bibliotheque.enfantsDeClasse(classeChoisie());
    QHash<QString, QString> prets;
    for (const FicheLivre &f : m_bibliotheque.livres())
        if (f.sorti())
            prets.insert(f.emprunteur.trimmed(), f.titre);
    m_liste->setRowCount(int(m_enfants.size()));
    for (int i = 0; i < m_enfants.size(); ++i) {
        const FicheEnfant &e = m_enfants[i];
        const QStringList colonnes{e.nom, e.prenom, e.niveau, e.matricule, prets.value(e.matricule.trimmed())};
        for (int c = 0; c < colonnes.size(); ++c)
            m_liste->setItem(i, c, new QTableWidgetItem(colonnes[c]));
        if (avant && avant->rowid == e.rowid)
            m_liste->selectRow(i);
    }
    m_liste->resizeColumnsToContents();
}

bool PageEnfants::formulaire(FicheEnfant &enfant, const std::function<FicheEnfant(const FicheEnfant &)> &enregistre)
{
    QDialog dialogue(this);
    dialogue.setWindowTitle(enfant.rowid < 0 ? QStringLiteral("Nouvel enfant")
                                             : QStringLiteral("%1 %2").arg(enfant.prenom, enfant.nom));
    auto *nom = new QLineEdit(enfant.nom);
    auto *prenom = new QLineEdit(enfant.prenom);
    auto *niveau = new QComboBox;
    niveau->setEditable(true);
    niveau->addItems({QStringLiteral("PS"), QStringLiteral("MS"), QStringLiteral("GS")});
    niveau->setCurrentText(enfant.niveau);
    auto *matricule = new QLineEdit(enfant.matricule);
    auto *classe = new QComboBox;
    for (int n = 1; n <= 15; ++n)
        classe->addItem(m_classes->itemText(n - 1), deuxChiffres(n));
    const int rang = classe->findData(deuxChiffres(int(enfant.classe.toInt())));
    classe->setCurrentIndex(rang >= 0 ? rang : classeChoisie() - 1);
    for (auto [widget, nomObjet] : {std::pair<QWidget *, const char *>{nom, "nom"}, {prenom, "prenom"},
                                    {niveau, "niveau"}, {matricule, "matricule"}, {classe, "classeEnfant"}})
        widget->setObjectName(QLatin1String(nomObjet));

    auto *champs = new QFormLayout;
    champs->addRow(QStringLiteral("&Prénom :"), prenom);
    champs->addRow(QStringLiteral("&Nom :"), nom);
    champs->addRow(QStringLiteral("Ni&veau :"), niveau);
    champs->addRow(QStringLiteral("&Classe :"), classe);
    champs->addRow(QStringLiteral("&Matricule :"), matricule);
    auto *photo = new QVBoxLayout;
    if (prepareFormulaire)
        prepareFormulaire(photo, enfant);
    auto *boutons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel);
    boutons->button(QDialogButtonBox::Save)->setText(QStringLiteral("Enregistrer"));
    boutons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Annuler"));
    auto *colonnes = new QHBoxLayout;
    colonnes->addLayout(champs, 1);
    colonnes->addLayout(photo);
    auto *tout = new QVBoxLayout(&dialogue);
    tout->addLayout(colonnes);
    tout->addWidget(boutons);
    connect(boutons, &QDialogButtonBox::rejected, &dialogue, &QDialog::reject);
    connect(boutons, &QDialogButtonBox::accepted, &dialogue, [&] {
        FicheEnfant f = enfant;
        f.nom = nom->text().trimmed();
        f.prenom = prenom->text().trimmed();
        f.niveau = niveau->currentText().trimmed();
        f.matricule = matricule->text().trimmed();
        f.classe = classe->currentData().toString();
        try {
            enfant = enregistre(f);
        } catch (const AppError &erreur) {
            QMessageBox::warning(&dialogue, dialogue.windowTitle(), erreur.description());
            return;
        }
        dialogue.accept();
    });
    prenom->setFocus();
    if (dialogue.exec() != QDialog::Accepted)
        return false;
    if (formulaireEnregistre)
        formulaireEnregistre(enfant);
    return true;
}

void PageEnfants::ajoute()
{
    FicheEnfant nouveau;
    nouveau.classe = deuxChiffres(classeChoisie());
    nouveau.matricule = m_bibliotheque.prochainMatricule();
    if (formulaire(nouveau, [this](const FicheEnfant &f) { return m_bibliotheque.ajouteEnfant(f); })) {
        choisitClasse(nouveau.classe.toInt());
        recharge();
    }
}

void PageEnfants::modifie()
{
    const std::optional<FicheEnfant> avant = enfantChoisi();
    if (!avant)
        return;
    FicheEnfant enfant = *avant;
    const QList<FicheLivre> prets = m_bibliotheque.livresEmpruntesPar(avant->matricule);
    const auto enregistre = [&](const FicheEnfant &f) {
        if (f.matricule != avant->matricule && !prets.isEmpty()
            && QMessageBox::question(this, QStringLiteral("Changer de matricule"),
                                     QStringLiteral("%1 a emprunté « %2 ». Le prêt passera au nouveau matricule %3. "
                                                    "Continuer ?")
                                         .arg(avant->prenom, prets.front().titre, f.matricule))
                   != QMessageBox::Yes)
            throw AppError(0, QStringLiteral("Le matricule n'a pas été changé."));
        return m_bibliotheque.modifieEnfant(*avant, f);
    };
    formulaire(enfant, enregistre);
    recharge();
}

void PageEnfants::supprime()
{
    const std::optional<FicheEnfant> enfant = enfantChoisi();
    if (!enfant)
        return;
    const QList<FicheLivre> prets = m_bibliotheque.livresEmpruntesPar(enfant->matricule);
    QString question = QStringLiteral("Supprimer %1 %2 de la classe ?").arg(enfant->prenom, enfant->nom);
    if (!prets.isEmpty())
        question = QStringLiteral("%1 %2 a encore « %3 ». Ce livre sera enregistré comme rendu (le journal le dira), "
                                  "puis l'enfant supprimé. Continuer ?")
                       .arg(enfant->prenom, enfant->nom, prets.front().titre);
    if (QMessageBox::question(this, QStringLiteral("Supprimer un enfant"), question, QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No)
        != QMessageBox::Yes)
        return;
    try {
        for (const FicheLivre &f : prets)
            m_bibliotheque.rendsLivre(f);
        m_bibliotheque.supprimeEnfant(*enfant);
    } catch (const AppError &erreur) {
        QMessageBox::warning(this, QStringLiteral("Supprimer un enfant"), erreur.description());
    }
    recharge();
}
