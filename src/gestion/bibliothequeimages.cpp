#include "gestion/bibliothequeimages.h"

#include "platform/apperror.h"
#include "platform/datafile.h"

#include <QAbstractListModel>
#include <QCache>
#include <QCollator>
#include <QDialogButtonBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMap>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QStyledItemDelegate>
#include <QStringDecoder>
#include <QThread>
#include <QThreadPool>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The package's largest description file is 16 KB (the chess knight's rules
// in 70 languages).
constexpr qint64 kLimiteDescription = 64 * 1024;
// Thumbnails: the side of the square they fit in.
constexpr int kCoteVignette = 96;
// A picture with more points than this is no stamp: not shown.
constexpr qint64 kMaxPointsVignette = 16 * 1024 * 1024;

QStringList motsPlies(const QString &texte)
{
    static const QRegularExpression separateurs(QStringLiteral("[^\\p{L}\\p{N}]+"));
    return BibliothequeImages::plie(texte).split(separateurs, Qt::SkipEmptyParts);
}

// The picture in the middle of a transparent square: the view lays out every
// cell as the first, whatever the shape of the others' pictures.
QImage carre(const QImage &image, int cote)
{
    if (image.isNull())
        return {};
    QImage carre(cote, cote, QImage::Format_ARGB32_Premultiplied);
    carre.fill(Qt::transparent);
    QPainter peintre(&carre);
    peintre.drawImage((cote - image.width()) / 2, (cote - image.height()) / 2, image);
    return carre;
}

// The thumbnail of a stamp, fitted in the square; null when it cannot be
// read. Runs on the loading threads.
QImage vignette(const QString &chemin, int cote)
{
    try {
        const std::unique_ptr<QFile> fichier = DataFile::open(chemin, DataFile::kMediaLimit);
        QImageReader lecteur(fichier.get());
        lecteur.setDecideFormatFromContent(true);
        const QSize taille = lecteur.size();
        if (!taille.isValid() || taille.isEmpty())
            return {};
        const QSize dedans = taille.scaled(cote, cote, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
        if (lecteur.format().startsWith("svg")) {
            lecteur.setScaledSize(dedans);
            return carre(lecteur.read(), cote);
        }
        if (qint64(taille.width()) * taille.height() > kMaxPointsVignette)
            return {};
        QImage image = lecteur.read();
        if (!image.isNull() && (image.width() > cote || image.height() > cote))
            image = image.scaled(dedans, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        return carre(image, cote);
    } catch (const AppError &) {
        return {};
    }
}

// Every cell the grid's size: the picture and three lines of text under it.
class DelegueVignette : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize taille;
    QSize sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const override { return taille; }
};

} // namespace

// The stamps found, with their thumbnails read on two threads as the view
// asks for them, the last asked first: after a fast scroll, what is on the
// screen comes before what was passed.
class ModeleVignettes : public QAbstractListModel
{
public:
    explicit ModeleVignettes(QObject *parent) : QAbstractListModel(parent)
    {
        m_threads.setMaxThreadCount(2);
        m_cache.setMaxCost(600);
        QPixmap attente(kCoteVignette, kCoteVignette);
        attente.fill(Qt::transparent);
        m_attente = attente;
    }

    ~ModeleVignettes() override
    {
        // The threads call back into this model: none may still run.
        m_threads.clear();
        m_threads.waitForDone();
    }

    void montre(std::shared_ptr<const BibliothequeImages> bibliotheque, QList<int> rangs)
    {
        beginResetModel();
        if (bibliotheque != m_bibliotheque) {
            m_cache.clear();
            m_bibliotheque = std::move(bibliotheque);
        }
        m_rangs = std::move(rangs);
        m_ligne.clear();
        for (int ligne = 0; ligne < m_rangs.size(); ++ligne)
            m_ligne.insert(m_rangs.at(ligne), ligne);
        endResetModel();
    }

    int tampon(const QModelIndex &index) const
    {
        return index.isValid() && index.row() < m_rangs.size() ? m_rangs.at(index.row()) : -1;
    }

    int rowCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : int(m_rangs.size()); }

    QVariant data(const QModelIndex &index, int role) const override
    {
        const int t = tampon(index);
        if (t < 0 || !m_bibliotheque)
            return {};
        const BibliothequeImages::Tampon &tampon = m_bibliotheque->tampons().at(t);
        switch (role) {
        case Qt::DisplayRole:
            return BibliothequeImages::titre(tampon.description);
        case Qt::ToolTipRole:
            return tampon.description;
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::AlignHCenter | Qt::AlignTop);
        case Qt::DecorationRole:
            if (const QPixmap *image = m_cache.object(t))
                return *image;
            demande(t);
            return m_attente;
        default:
            return {};
        }
    }

private:
    void demande(int t) const
    {
        if (m_demandes.contains(t))
            return;
        m_demandes.insert(t);
        m_pile.append(t);
        // Those asked long ago have left the screen; they are asked again
        // when they come back.
        while (m_pile.size() > 200)
            m_demandes.remove(m_pile.takeFirst());
        lance();
    }

    void lance() const
    {
        while (m_enCours < 2 && !m_pile.isEmpty()) {
            const int t = m_pile.takeLast();
            const QString chemin = m_bibliotheque->tampons().at(t).chemin;
            ++m_enCours;
            auto *moi = const_cast<ModeleVignettes *>(this);
            m_threads.start([moi, t, chemin] {
                const QImage image = vignette(chemin, kCoteVignette);
                QMetaObject::invokeMethod(moi, [moi, t, image] { moi->recue(t, image); }, Qt::QueuedConnection);
            });
        }
    }

    void recue(int t, const QImage &image)
    {
        --m_enCours;
        m_demandes.remove(t);
        QPixmap vignette;
        if (image.isNull()) {
            // Not read: a grey cross, and no second try.
            vignette = QPixmap(kCoteVignette, kCoteVignette);
            vignette.fill(Qt::transparent);
            QPainter peintre(&vignette);
            peintre.setPen(QPen(Qt::lightGray, 3));
            peintre.drawLine(24, 24, 72, 72);
            peintre.drawLine(72, 24, 24, 72);
        } else {
            vignette = QPixmap::fromImage(image);
        }
        m_cache.insert(t, new QPixmap(vignette));
        const auto ligne = m_ligne.constFind(t);
        if (ligne != m_ligne.cend()) {
            const QModelIndex i = index(*ligne);
            emit dataChanged(i, i, {Qt::DecorationRole});
        }
        lance();
    }

    std::shared_ptr<const BibliothequeImages> m_bibliotheque;
    QList<int> m_rangs;       // the stamps shown, by row
    QHash<int, int> m_ligne;  // the row of a stamp shown
    QPixmap m_attente;
    mutable QCache<int, QPixmap> m_cache;
    mutable QList<int> m_pile; // asked, not started, the last asked last
    mutable QSet<int> m_demandes; // asked and not received
    mutable int m_enCours = 0;
    mutable QThreadPool m_threads;
};

QString BibliothequeImages::dossierSysteme()
{
    return QStringLiteral("/usr/share/tuxpaint/stamps");
}

bool BibliothequeImages::disponible(const QString &dossier)
{
    return QFileInfo(dossier).isDir() && !QDir(dossier).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot);
}

QString BibliothequeImages::plie(const QString &texte)
{
    QString plie;
    plie.reserve(texte.size());
    for (const QChar c : texte.normalized(QString::NormalizationForm_D)) {
        if (c.category() == QChar::Mark_NonSpacing)
            continue;
        if (c == u'œ' || c == u'Œ')
            plie += QStringLiteral("oe");
        else if (c == u'æ' || c == u'Æ')
            plie += QStringLiteral("ae");
        else
            plie += c;
    }
    return plie.toCaseFolded();
}

QString BibliothequeImages::descriptionFrancaise(const QByteArray &octets)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString texte = utf8.decode(octets);
    if (utf8.hasError())
        return {};
    const bool binaire = std::any_of(texte.cbegin(), texte.cend(), [](QChar c) {
        return (c.unicode() < 0x20 || c.unicode() == 0x7f) && c != u'\n' && c != u'\r' && c != u'\t';
    });
    if (binaire)
        return {};
    // "fr.utf8=…", "fr_CA.utf8=…", "ca@valencia.utf8=…"; the English line
    // has no such name.
    static const QRegularExpression langue(QStringLiteral("^([a-z]{2,3})(_[a-z]{2})?(@[a-z]+)?\\.utf-?8=(.*)$"),
                                           QRegularExpression::CaseInsensitiveOption);
    QString anglais;
    QString francais;
    int rangFrancais = 4;
    for (const QStringView ligne : QStringView(texte).split(u'\n')) {
        // Seventy languages a file: most lines are passed by their start.
        const bool francaise = ligne.trimmed().startsWith(u"fr", Qt::CaseInsensitive);
        if (!francaise && !anglais.isEmpty())
            continue;
        const QRegularExpressionMatch nommee = langue.match(ligne.trimmed());
        if (!nommee.hasMatch()) {
            if (anglais.isEmpty())
                anglais = ligne.toString().simplified();
            continue;
        }
        const QString valeur = nommee.captured(4).simplified();
        if (valeur.isEmpty() || nommee.captured(1).compare(u"fr", Qt::CaseInsensitive) != 0)
            continue;
        // France's own first, then French without a country, then any other.
        const QString pays = nommee.captured(2).toLower();
        const int rang = !nommee.captured(3).isEmpty() ? 3 : pays == u"_fr" ? 0 : pays.isEmpty() ? 1 : 2;
        if (rang < rangFrancais) {
            rangFrancais = rang;
            francais = valeur;
        }
    }
    return francais.isEmpty() ? anglais : francais;
}

QString BibliothequeImages::titre(const QString &description)
{
    static const QRegularExpression finDePhrase(QStringLiteral("[.!?…](?=\\s)"));
    QString titre = description.left(description.indexOf(finDePhrase) + 1).trimmed();
    if (titre.isEmpty())
        titre = description;
    if (titre.endsWith(u'.') && !titre.endsWith(QStringLiteral("..")))
        titre.chop(1);
    return titre;
}

BibliothequeImages::BibliothequeImages(const QString &dossier)
{
    // Each stamp by its path without suffix; the SVG is drawn sharp at any
    // size, the PNG is the same drawing at one size. "_mirror" pictures
    // are Tux Paint's mirrored copies of another stamp.
    QMap<QString, QString> images;
    QDirIterator fichiers(dossier, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (fichiers.hasNext()) {
        const QFileInfo info = fichiers.nextFileInfo();
        const QString suffixe = info.suffix().toLower();
        if ((suffixe != u"png" && suffixe != u"svg") || info.completeBaseName().endsWith(u"_mirror"))
            continue;
        const QString base = info.path() + u'/' + info.completeBaseName();
        QString &choisie = images[base];
        if (choisie.isEmpty() || suffixe == u"svg")
            choisie = info.filePath();
    }
    QList<Tampon> trouves;
    for (auto image = images.cbegin(); image != images.cend(); ++image) {
        const QString txt = image.key() + QStringLiteral(".txt");
        if (!QFileInfo::exists(txt))
            continue;
        QString description;
        try {
            description = descriptionFrancaise(DataFile::readAll(txt, kLimiteDescription));
        } catch (const AppError &) {
            continue;
        }
        if (!description.isEmpty())
            trouves.append({image.value(), description});
    }
    QCollator ordre{QLocale(QLocale::French, QLocale::France)};
    ordre.setCaseSensitivity(Qt::CaseInsensitive);
    ordre.setNumericMode(true);
    // « -- Parce que… » among the P.
    ordre.setIgnorePunctuation(true);
    std::stable_sort(trouves.begin(), trouves.end(), [&](const Tampon &a, const Tampon &b) {
        return ordre.compare(a.description, b.description) < 0;
    });
    m_tampons = trouves;
    for (const Tampon &tampon : std::as_const(m_tampons))
        m_mots.append(motsPlies(tampon.description));
}

QList<int> BibliothequeImages::cherche(const QString &texte) const
{
    const QStringList cherches = motsPlies(texte);
    QList<int> rangs;
    for (int i = 0; i < m_tampons.size(); ++i) {
        const QStringList &mots = m_mots.at(i);
        const bool trouve = std::all_of(cherches.cbegin(), cherches.cend(), [&](const QString &cherche) {
            return std::any_of(mots.cbegin(), mots.cend(), [&](const QString &mot) { return mot.startsWith(cherche); });
        });
        if (trouve)
            rangs.append(i);
    }
    return rangs;
}

namespace {

// The folders read, for the program's life: opening the dialog again is
// immediate.
QHash<QString, std::shared_ptr<const BibliothequeImages>> &lues()
{
    static QHash<QString, std::shared_ptr<const BibliothequeImages>> bibliotheques;
    return bibliotheques;
}

} // namespace

DialogueBibliothequeImages::DialogueBibliothequeImages(QWidget *parent, const QString &dossier)
    : QDialog(parent), m_recherche(new QLineEdit), m_vue(new QListView), m_etat(new QLabel),
      m_choisir(new QPushButton(QStringLiteral("&Choisir"))), m_modele(new ModeleVignettes(this)), m_dossier(dossier)
{
    setWindowTitle(QStringLiteral("Bibliothèque d'images"));
    m_recherche->setPlaceholderText(QStringLiteral("Rechercher : chat, château, pomme…"));
    m_recherche->setClearButtonEnabled(true);
    m_recherche->installEventFilter(this);
    auto *etiquette = new QLabel(QStringLiteral("&Rechercher :"));
    etiquette->setBuddy(m_recherche);

    m_vue->setModel(m_modele);
    m_vue->setViewMode(QListView::IconMode);
    m_vue->setMovement(QListView::Static);
    m_vue->setResizeMode(QListView::Adjust);
    m_vue->setUniformItemSizes(true);
    m_vue->setWordWrap(true);
    m_vue->setTextElideMode(Qt::ElideRight);
    m_vue->setIconSize(QSize(kCoteVignette, kCoteVignette));
    // Three lines of text under each picture.
    m_vue->setGridSize(QSize(kCoteVignette + 60, kCoteVignette + 3 * fontMetrics().lineSpacing() + 16));
    m_vue->setSpacing(4);
    m_vue->setSelectionMode(QAbstractItemView::SingleSelection);
    m_vue->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    auto *delegue = new DelegueVignette(m_vue);
    delegue->taille = m_vue->gridSize() - QSize(8, 8);
    m_vue->setItemDelegate(delegue);
    m_vue->setMinimumSize(5 * m_vue->gridSize().width() + 30, 3 * m_vue->gridSize().height());

    auto *boutons = new QDialogButtonBox;
    boutons->addButton(m_choisir, QDialogButtonBox::AcceptRole);
    boutons->addButton(QDialogButtonBox::Cancel)->setText(QStringLiteral("Annuler"));
    m_choisir->setDefault(true);
    connect(boutons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(boutons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // Not activated(): Enter reaches the default button already, and a
    // desktop set to open on one click would choose on the first click.
    connect(m_vue, &QListView::doubleClicked, this, [this] { accept(); });
    connect(m_vue->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { montreEtat(); });
    connect(m_recherche, &QLineEdit::textChanged, this, [this] { filtre(); });

    auto *ligne = new QHBoxLayout;
    ligne->addWidget(etiquette);
    ligne->addWidget(m_recherche, 1);
    auto *disposition = new QVBoxLayout(this);
    disposition->addLayout(ligne);
    disposition->addWidget(m_vue, 1);
    auto *bas = new QHBoxLayout;
    bas->addWidget(m_etat, 1);
    bas->addWidget(boutons);
    disposition->addLayout(bas);
    m_recherche->setFocus();

    const QString cle = QFileInfo(dossier).absoluteFilePath();
    if (const auto lue = lues().value(cle)) {
        installe(lue);
        return;
    }
    // A thousand description files: quick from the disk cache, a second or
    // more from a cold disk, which must not hold the window.
    m_etat->setText(QStringLiteral("Lecture des images…"));
    montreEtat();
    auto resultat = std::make_shared<std::shared_ptr<const BibliothequeImages>>();
    QThread *lecture = QThread::create([resultat, dossier] { *resultat = std::make_shared<const BibliothequeImages>(dossier); });
    connect(lecture, &QThread::finished, lecture, [lecture, resultat, cle] {
        // An empty folder is read again next time: the package may be
        // installed meanwhile.
        if (!(*resultat)->tampons().isEmpty())
            lues().insert(cle, *resultat);
        lecture->deleteLater();
    });
    connect(lecture, &QThread::finished, this, [this, resultat] { installe(*resultat); });
    lecture->start(QThread::LowPriority);
}

DialogueBibliothequeImages::~DialogueBibliothequeImages() = default;

bool DialogueBibliothequeImages::estPret() const
{
    return m_bibliotheque != nullptr;
}

void DialogueBibliothequeImages::installe(std::shared_ptr<const BibliothequeImages> bibliotheque)
{
    m_bibliotheque = std::move(bibliotheque);
    filtre();
}

void DialogueBibliothequeImages::filtre()
{
    if (!m_bibliotheque)
        return;
    m_modele->montre(m_bibliotheque, m_bibliotheque->cherche(m_recherche->text()));
    // The first found is chosen already: Enter takes it.
    if (m_modele->rowCount() > 0)
        m_vue->setCurrentIndex(m_modele->index(0));
    m_vue->scrollToTop();
    montreEtat();
}

void DialogueBibliothequeImages::montreEtat()
{
    m_choisir->setEnabled(m_modele->tampon(m_vue->currentIndex()) >= 0);
    if (!m_bibliotheque)
        return;
    const int trouves = m_modele->rowCount();
    if (m_bibliotheque->tampons().isEmpty())
        m_etat->setText(QStringLiteral("Aucune image dans %1.").arg(QDir::toNativeSeparators(m_dossier)));
    else if (trouves == 0)
        m_etat->setText(QStringLiteral("Aucune image ne correspond à « %1 ».").arg(m_recherche->text().simplified()));
    else
        m_etat->setText(trouves == 1 ? QStringLiteral("1 image") : QStringLiteral("%1 images").arg(trouves));
}

bool DialogueBibliothequeImages::eventFilter(QObject *objet, QEvent *event)
{
    if (objet == m_recherche && event->type() == QEvent::KeyPress) {
        const int touche = static_cast<QKeyEvent *>(event)->key();
        if (touche == Qt::Key_Up || touche == Qt::Key_Down || touche == Qt::Key_PageUp || touche == Qt::Key_PageDown) {
            QKeyEvent copie(QEvent::KeyPress, touche, static_cast<QKeyEvent *>(event)->modifiers());
            QCoreApplication::sendEvent(m_vue, &copie);
            return true;
        }
    }
    return QDialog::eventFilter(objet, event);
}

void DialogueBibliothequeImages::accept()
{
    const int t = m_modele->tampon(m_vue->currentIndex());
    if (t < 0 || !m_bibliotheque)
        return;
    m_chemin = m_bibliotheque->tampons().at(t).chemin;
    m_description = m_bibliotheque->tampons().at(t).description;
    QDialog::accept();
}
