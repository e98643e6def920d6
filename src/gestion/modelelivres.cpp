#include "gestion/modelelivres.h"

#include <QPainter>
#include <QPixmap>

namespace {

QIcon pastille(const QColor &couleur)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(90, 90, 90));
    p.setBrush(couleur);
    p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 3, 3);
    return QIcon(pixmap);
}

} // namespace

namespace {

// One character folded: lower case, accents taken off. Plain ASCII is the
// bulk of a catalogue; the accented letters of Latin scripts are folded once
// and remembered.
void plieCaractere(QChar c, QString &sortie)
{
    const char16_t u = c.unicode();
    if (u < 0x80) {
        sortie += (u >= 'A' && u <= 'Z') ? QChar(u + 32) : c;
        return;
    }
    static const std::array<QString, 0x250> latin = [] {
        std::array<QString, 0x250> table;
        for (char16_t v = 0x80; v < 0x250; ++v) {
            for (QChar d : QString(QChar(v)).normalized(QString::NormalizationForm_D))
                if (d.category() != QChar::Mark_NonSpacing)
                    table[v] += d.toLower();
        }
        return table;
    }();
    if (u < 0x250) {
        sortie += latin[u];
        return;
    }
    if (c.isSurrogate() || c.category() == QChar::Mark_NonSpacing) {
        if (c.category() != QChar::Mark_NonSpacing)
            sortie += c;
        return;
    }
    for (QChar d : QString(c).normalized(QString::NormalizationForm_D))
        if (d.category() != QChar::Mark_NonSpacing)
            sortie += d.toLower();
}

} // namespace

QString ModeleLivres::plie(const QString &texte)
{
    // Plain ASCII written in place; the rest, rarer, appended.
    QString plie(texte.size(), Qt::Uninitialized);
    char16_t *sortie = reinterpret_cast<char16_t *>(plie.data());
    const char16_t *entree = reinterpret_cast<const char16_t *>(texte.constData());
    qsizetype n = 0;
    for (; n < texte.size(); ++n) {
        const char16_t u = entree[n];
        if (u >= 0x80)
            break;
        sortie[n] = (u >= 'A' && u <= 'Z') ? char16_t(u + 32) : u;
    }
    if (n == texte.size())
        return plie;
    plie.truncate(n);
    for (; n < texte.size(); ++n)
        plieCaractere(texte[n], plie);
    return plie;
}

void ModeleLivres::charge(QList<FicheLivre> livres, const QHash<QString, QString> &nomsEnfants,
                          const CouleursClasses &couleurs)
{
    beginResetModel();
    m_livres = std::move(livres);
    m_noms = nomsEnfants;
    for (int i = 0; i < 10; ++i)
        m_pastilles[size_t(i)] = pastille(couleurs.couleur(i));
    m_textes.clear();
    m_textes.reserve(m_livres.size());
    QString texte;
    for (const FicheLivre &f : m_livres) {
        texte.clear();
        texte.append(f.inventaire).append(u'\n').append(f.titre).append(u'\n').append(f.editeur);
        texte.append(u'\n').append(f.dewey).append(u'\n').append(f.motscles);
        m_textes << plie(texte);
    }
    m_visibles.clear();
    for (int i = 0; i < m_livres.size(); ++i)
        if (std::all_of(m_mots.begin(), m_mots.end(), [&](const QString &mot) { return m_textes[i].contains(mot); }))
            m_visibles << i;
    endResetModel();
}

void ModeleLivres::filtre(const QString &texte)
{
    const QStringList mots = plie(texte).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (mots == m_mots)
        return;
    // A word made longer only narrows what is shown: only those are searched.
    bool resserre = m_mots.size() == mots.size() && !m_mots.isEmpty();
    for (int i = 0; resserre && i < mots.size(); ++i)
        resserre = mots[i].contains(m_mots[i]);
    beginResetModel();
    m_mots = mots;
    QList<int> visibles;
    const auto garde = [&](int i) {
        return std::all_of(m_mots.begin(), m_mots.end(), [&](const QString &mot) { return m_textes[i].contains(mot); });
    };
    if (resserre) {
        for (int i : std::as_const(m_visibles))
            if (garde(i))
                visibles << i;
    } else {
        for (int i = 0; i < m_livres.size(); ++i)
            if (garde(i))
                visibles << i;
    }
    m_visibles = std::move(visibles);
    endResetModel();
}

int ModeleLivres::ligneDe(qint64 rowid) const
{
    for (int ligne = 0; ligne < m_visibles.size(); ++ligne)
        if (m_livres[m_visibles[ligne]].rowid == rowid)
            return ligne;
    return -1;
}

QString ModeleLivres::emprunteur(const FicheLivre &f) const
{
    if (!f.sorti())
        return {};
    const QString nom = m_noms.value(f.emprunteur.trimmed());
    return nom.isEmpty() ? QStringLiteral("matricule %1").arg(f.emprunteur) : nom;
}

int ModeleLivres::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_visibles.size());
}

int ModeleLivres::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : NombreDeColonnes;
}

QVariant ModeleLivres::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_visibles.size())
        return {};
    const FicheLivre &f = livre(index.row());
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        switch (index.column()) {
        case Numero: return f.inventaire;
        case Titre: return f.titre;
        case Editeur: return f.editeur;
        case Dewey: return f.dewey;
        case MotsCles: return f.motscles;
        case Pretable: return f.pretable() ? QStringLiteral("oui") : QStringLiteral("non");
        case EmpruntePar: return emprunteur(f);
        }
    }
    if (role == Qt::DecorationRole && index.column() == Numero && !f.dewey.isEmpty() && f.dewey.front().isDigit())
        return m_pastilles[size_t(f.dewey.front().digitValue())];
    return {};
}

QVariant ModeleLivres::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char *const titres[] = {"Numéro", "Titre", "Éditeur", "Dewey", "Mots clés", "Prêtable", "Emprunté par"};
    return QString::fromUtf8(titres[section]);
}
