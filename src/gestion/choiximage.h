#pragma once

#include "gestion/bibliothequeimages.h"
#include "gestion/camera.h"
#include "gestion/imagesbmp.h"

#include <QString>
#include <QTemporaryDir>
#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QMimeData;
class QPushButton;

// The picture of a child, a class or a book on a form: the current one (or a
// grey "Pas d'image"), and the ways to give a new one: "Fichier…", "Caméra…",
// "Coller" (Ctrl+V), "Bibliothèque…" for a request's picture (Tux Paint's
// drawings), or a picture file, a link to one or a picture dropped on it. A new picture is prepared for its kind and saved over the target
// file at once; when that fails a message says why and the old file stays.
class ChoixImage : public QWidget
{
public:
    explicit ChoixImage(ImagesBmp::Sorte sorte, QWidget *parent = nullptr);

    // The file the picture is saved to (native, or written the Windows way;
    // another case of its name is the same file). Empty: nothing to show and
    // nothing to change.
    void setCible(const QString &cible);
    QString cible() const { return m_cible; }
    // Reads the target file again (another program may have changed it).
    void rafraichit();

    // Called with the native path written after each new picture saved.
    void setQuandEnregistree(std::function<void(const QString &)> quand) { m_quandEnregistree = std::move(quand); }
    // The camera the "Caméra…" dialog opens (the system's by default).
    void setFabriqueCamera(std::function<std::unique_ptr<Camera>()> fabrique) { m_fabriqueCamera = std::move(fabrique); }

    // The "Bibliothèque…" button, shown for a request's picture; disabled,
    // with a word on the package to install, when the folder of drawings is
    // not there. The folder is the system's by default.
    void setBibliotheque(bool montree, const QString &dossier = BibliothequeImages::dossierSysteme());

    // The ways in, each saving the picture when it is one: true when saved.
    bool prendsFichier(const QString &chemin);
    bool prendsImage(const QImage &image);
    bool prendsDonnees(const QMimeData *donnees);
    void colle();
    void ouvreFichier();
    void ouvreCamera();
    void ouvreBibliotheque();

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    template<typename Lecture>
    bool enregistre(Lecture lecture);
    void signale(const QString &message);
    void montreEtat();

    ImagesBmp::Sorte m_sorte;
    QString m_cible;
    QLabel *m_apercu;
    QPushButton *m_fichier;
    QPushButton *m_camera;
    QPushButton *m_coller;
    QPushButton *m_bibliotheque;
    QString m_dossierBibliotheque;
    std::function<void(const QString &)> m_quandEnregistree;
    std::function<std::unique_ptr<Camera>()> m_fabriqueCamera;
};

// A picture chosen in a form goes to a file of its own until the form is
// saved: the record's number may still change, and "Annuler" leaves the
// picture the kiosk shows as it was.
struct ImageEnAttente
{
    std::unique_ptr<QTemporaryDir> dossier;
    bool changee = false;

    // A chooser showing `actuelle` (the picture the kiosk shows now, read as
    // the kiosk reads pictures: a pipe or a huge file is left alone).
    ChoixImage *prepare(ImagesBmp::Sorte sorte, const QString &actuelle);
    // Writes the picture chosen, if any, where the kiosk reads it; a failure
    // is said in a message over `fenetre`, and the picture kept for another
    // try. Returns whether a picture was written.
    bool enregistre(ImagesBmp::Sorte sorte, const QString &cible, QWidget *fenetre);
};
