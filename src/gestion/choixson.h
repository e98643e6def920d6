#pragma once

#include "gestion/sonrequete.h"

#include <QByteArray>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QAbstractButton;
class QButtonGroup;
class QLabel;
class QLineEdit;
class QMediaDevices;
class QProgressBar;
class QPushButton;
class QSoundEffect;
class QTemporaryDir;

// The sound of a picture request on its form: recorded with the microphone,
// said by the kiosk's voice, or none (the kiosk then says the title). The
// sound chosen stays here, in memory, until the form saves it; "Écouter"
// plays what the kiosk will play.
class ChoixSon : public QWidget
{
public:
    enum class Choix { Micro, Voix, Aucun };

    explicit ChoixSon(QWidget *parent = nullptr);
    ~ChoixSon() override;

    // Where takes come from (sourceAudioSysteme() by default).
    void setFabriqueSource(std::function<std::unique_ptr<SourceAudio>()> fabrique);

    // The request's sound now (a file of SONS, native path; empty for none).
    // A file that cannot be read is no sound.
    void setSonActuel(const QString &nativePath);
    // What the voice says, until the teacher writes another text.
    void setTitre(const QString &titre);

    Choix choix() const;
    void setChoix(Choix choix);
    // Whether the request gets a sound file: false means that it has none
    // and the kiosk says its title.
    bool aUnSon() const;
    // The sound file's bytes (a 16-bit PCM mono WAV, or the current file as
    // it was read); empty without a sound.
    QByteArray wav() const;
    // Whether the teacher changed anything since setSonActuel().
    bool modifie() const { return m_modifie; }
    // Called after each change the teacher makes.
    void setQuandChange(std::function<void()> quand) { m_quandChange = std::move(quand); }

    // The buttons' actions.
    void enregistre();
    void arrete();
    void ecoute();

    // The last message shown under the buttons (empty when none).
    QString message() const;

private:
    QByteArray wavVoix() const;
    void nouvelleSource();
    void finDePrise(const QString &raison);
    void montreProgres();
    void montreEtat();
    void dit(const QString &message, bool erreur);
    void change();

    std::function<std::unique_ptr<SourceAudio>()> m_fabrique;
    std::unique_ptr<Prise> m_prise;
    QByteArray m_wavMicro;     // the current sound or the last good take
    bool m_prisePropre = false; // m_wavMicro was recorded here
    bool m_modifie = false;
    bool m_texteEcrit = false; // the teacher wrote the voice's text
    bool m_voix = false;
    QString m_titre;
    mutable QString m_texteSynthetise;
    mutable QByteArray m_wavVoix;
    std::function<void()> m_quandChange;

    QButtonGroup *m_groupe;
    QAbstractButton *m_choixMicro;
    QAbstractButton *m_choixVoix;
    QAbstractButton *m_choixAucun;
    QPushButton *m_enregistrer;
    QPushButton *m_arreter;
    QProgressBar *m_niveau;
    QLabel *m_etatMicro;
    QLineEdit *m_texte;
    QPushButton *m_ecouter;
    QLabel *m_message;
    QMediaDevices *m_appareils;
    std::unique_ptr<QSoundEffect> m_lecteur;
    std::unique_ptr<QTemporaryDir> m_dossierEcoute;
    int m_ecoutes = 0;
};
