#include "data/feuilleenfant.h"

#include "platform/apperror.h"

#include <utility>

BoundLabel::BoundLabel(Cursor &cursor, QString fieldName, QString designText)
    : m_cursor(&cursor), m_field(std::move(fieldName)), m_designText(std::move(designText)),
      m_lastText(m_designText)
{
}

QString BoundLabel::text() const
{
    if (!m_cursor->isOpen() || !m_cursor->hasCurrentRecord())
        return m_lastText;
    bool pending = false;
    QString value = m_cursor->pendingValue(m_field, &pending);
    if (!pending)
        value = m_cursor->field(m_field);
    m_lastText = value;
    return value;
}

void BoundLabel::setText(const QString &text)
{
    m_cursor->setField(m_field, text);
    m_lastText = text;
}

Feuilleenfant::Feuilleenfant()
{
    m_cursors[0] = std::make_unique<Cursor>(QStringLiteral("enfants"));
    m_cursors[1] = std::make_unique<Cursor>(QStringLiteral("luma"));
    m_cursors[2] = std::make_unique<Cursor>(QStringLiteral("[luma+]"));
    m_cursors[3] = std::make_unique<Cursor>(QStringLiteral("équipe"));

    struct Binding { int cursor; const char *field; const char *designText; };
    static const Binding bindings[19] = {
        {0, "nomenfant", "Nom de l'enfant"},
        {0, "prénomenfant", "Prénom de l'enfant"},
        {0, "matricule", "Matricule"},
        {1, "inventaire", "Inventaire"},
        {1, "titre", "Titre"},
        {1, "emprunté", "Emprunté"},
        {1, "emprunteur", "Emprunteur"},
        {1, "catégorieemprunteur", "Catégorie"},
        {1, "dewey", "Dewey"},
        {1, "motsclés", "mots clés"},
        {1, "emprunt", "emprunt autorisé"},
        {1, "cumul", "cumul"},
        {1, "dateemprunt", "dateemprunt"},
        {1, "éditeur", "éditeur"},
        {0, "classe", "Classe"},
        {0, "niveau", "niveau"},
        {2, "descripteur", "descripteur"},
        {3, "équipeinstituteur", "nom instituteur"},
        {3, "équipenuméro", "numéroclasse"},
    };
    for (int i = 0; i < 19; ++i) {
        const Binding &b = bindings[i];
        m_labels[i] = std::make_unique<BoundLabel>(*m_cursors[b.cursor], QString::fromUtf8(b.field),
                                                   QString::fromUtf8(b.designText));
    }
}

Feuilleenfant::~Feuilleenfant() = default;

BoundLabel &Feuilleenfant::Etiquette(int number)
{
    Q_ASSERT(number >= 1 && number <= 19);
    return *m_labels[number - 1];
}

void Feuilleenfant::setServeur(const std::shared_ptr<BaseServeur> &serveur)
{
    for (auto &cursor : m_cursors)
        cursor->setServeur(serveur);
}

void Feuilleenfant::closeAll()
{
    for (auto &cursor : m_cursors)
        cursor->close();
}
