#include "folder/descriptionerreur.h"

QString descriptionErreur(int number)
{
    switch (number) {
    case 5: return QStringLiteral("Argument ou appel de procédure incorrect");
    case 6: return QStringLiteral("Dépassement de capacité");
    case 7: return QStringLiteral("Mémoire insuffisante");
    case 9: return QStringLiteral("L'indice n'appartient pas à la sélection");
    case 11: return QStringLiteral("Division par zéro");
    case 13: return QStringLiteral("Type incompatible");
    case 51: return QStringLiteral("Erreur interne");
    case 52: return QStringLiteral("Nom ou numéro de fichier incorrect");
    case 53: return QStringLiteral("Fichier introuvable");
    case 55: return QStringLiteral("Fichier déjà ouvert");
    case 57: return QStringLiteral("Erreur d'entrée/sortie sur périphérique");
    case 58: return QStringLiteral("Ce fichier existe déjà");
    case 61: return QStringLiteral("Disque plein");
    case 62: return QStringLiteral("L'entrée dépasse la fin du fichier");
    case 70: return QStringLiteral("Permission refusée");
    case 71: return QStringLiteral("Disque non prêt");
    case 75: return QStringLiteral("Erreur d'accès au chemin ou au fichier");
    case 76: return QStringLiteral("Chemin d'accès introuvable");
    default: return QStringLiteral("Erreur définie par l'application ou par l'objet");
    }
}
