#pragma once

#include <QString>

#include <atomic>
#include <functional>

class QWidget;

// The conversion of a folder of Access files, by the conversion tool's own
// code (luma-import), for the teachers' program: the same files converted,
// the originals kept in ACCESS, all or nothing, its messages and refusals as
// they are. Only where the program was built with mdbtools.
bool conversionDisponible();

struct ResultatConversion
{
    bool reussie = false;
    // French: the tool's refusal as it is, or what was converted, where the
    // originals are and what should be corrected.
    QString message;
};

// Where the conversion stands, from 0 to 1000, rising to 1000 at the end,
// and what it is doing ("LUMA.MDB : table luma").
using AvancementConversion = std::function<void(int pourMille, const QString &etape)>;

// Converts in the calling thread. A conversion asked to stop (`arret` set)
// stops at its next step and changes nothing.
ResultatConversion convertitDossier(const QString &dossier, const AvancementConversion &avancement = {},
                                    const std::atomic_bool *arret = nullptr);

// The same off the window's thread, under a progress dialog the teacher can
// cancel, its outcome then shown in a message box. Returns whether the
// folder was converted.
bool convertitAvecProgression(const QString &dossier, QWidget *parent);
