#pragma once

#include "gestion/imagesbmp.h"

#include <QByteArray>
#include <QDialog>
#include <QImage>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

class QComboBox;
class QLabel;
class QPushButton;
class VueCamera;

// A camera as the dialog uses it: the devices there are, and the live
// pictures of one of them. The program's is Qt Multimedia's (cameraSysteme);
// the tests give a fake one.
class Camera
{
public:
    struct Appareil
    {
        QByteArray id;
        QString nom;
    };

    virtual ~Camera() = default;

    // The cameras plugged in, the system's default first; empty when there
    // is none or no multimedia backend.
    virtual QList<Appareil> appareils() = 0;
    // Starts one of them: its pictures then come through surImage, and a
    // failure (at the start or later, a camera unplugged) through surErreur,
    // in French. Starting another stops the first.
    virtual void demarre(const QByteArray &id) = 0;
    virtual void arrete() = 0;

    std::function<void(const QImage &)> surImage;
    std::function<void(const QString &)> surErreur;
};

// The cameras of the computer, through Qt Multimedia.
std::unique_ptr<Camera> cameraSysteme();

// Taking a picture with a camera: the live view (with, for a photograph, the
// square that will be kept), "Prendre la photo" (Space), then the still with
// "Reprendre" and "Utiliser cette photo". A choice of camera when there are
// several; a message, and nothing to take, when there is none or it fails.
// Accepted, photo() is the picture taken, whole (the crop is ImagesBmp's).
class DialogueCamera : public QDialog
{
public:
    DialogueCamera(std::unique_ptr<Camera> camera, ImagesBmp::Sorte sorte, QWidget *parent = nullptr);
    ~DialogueCamera() override;

    QImage photo() const { return m_photo; }

protected:
    void done(int resultat) override;

private:
    void choisitAppareil(int index);
    void recoitImage(const QImage &image);
    void montreErreur(const QString &message);
    void prend();
    void reprend();
    void montreEtat();

    std::unique_ptr<Camera> m_camera;
    QList<Camera::Appareil> m_appareils;
    QComboBox *m_choix;
    VueCamera *m_vue;
    QLabel *m_message;
    QPushButton *m_prendre;
    QPushButton *m_reprendre;
    QPushButton *m_utiliser;
    QImage m_photo;
    bool m_fige = false;
    bool m_enErreur = false;
};
