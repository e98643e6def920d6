#pragma once

#include <QString>
#include <QWidget>

class KioskContext;
class QLabel;

// The start-up screen. Its load step is the program's own beginning: it finds
// the data and school folders, opens the shared cursors, refuses to go on
// without children or classes, prepares the class choice screen, reads the
// saved requests, the colours and the descriptors, then hands over to the
// main menu, shown modally for as long as the program runs.
class présentation : public QWidget
{
public:
    explicit présentation(KioskContext &context);

    // The start-up, steps 1 to 24. Returns when the main menu is closed or the
    // program has ended.
    void Form_Load();

    // The folder the process was started in (the hidden directory list).
    QString Répertoire1Path() const;

    QLabel *Etiquette(int number) const;

private:
    void trouverDossiers();
    void vérifieHorloge();
    void remplirClasses();

    KioskContext &m_context;
};
