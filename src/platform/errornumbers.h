#pragma once

#include <QString>

// Every error number the program raises or reacts to, once. A number is the
// one the original platform gave the error (its run-time errors below 1000,
// its database engine's from 3000), so that the error report chooses its
// message by number. Each row gives:
// - the name the code uses (ErrorNumber::FileNotFound);
// - the number;
// - the French description of the number, where the program has one
//   (descriptionErreur(), for an error raised without a description of its own);
// - the message the kiosk's error report shows for it, where it has its own
//   (Module11::GestionErreur); other numbers show their description.
#define LUMA_ERROR_NUMBERS(X)                                                                                        \
    X(InvalidArgument, 5, "Argument ou appel de procédure incorrect", nullptr)                                       \
    X(Overflow, 6, "Dépassement de capacité", nullptr)                                                               \
    X(OutOfMemory, 7, "Mémoire insuffisante", nullptr)                                                               \
    X(SubscriptOutOfRange, 9, "L'indice n'appartient pas à la sélection", nullptr)                                   \
    X(DivisionByZero, 11, "Division par zéro", nullptr)                                                              \
    X(TypeMismatch, 13, "Type incompatible", nullptr)                                                                \
    X(InternalError, 51, "Erreur interne", nullptr)                                                                  \
    X(BadFileName, 52, "Nom ou numéro de fichier incorrect", "Nom ou numéro de fichier incorrect")                   \
    X(FileNotFound, 53, "Fichier introuvable", "Fichier introuvable")                                                \
    X(FileAlreadyOpen, 55, "Fichier déjà ouvert", nullptr)                                                           \
    X(DeviceIoError, 57, "Erreur d'entrée/sortie sur périphérique", nullptr)                                         \
    X(FileAlreadyExists, 58, "Ce fichier existe déjà", "Ce fichier existe déjà")                                     \
    X(DiskFull, 61, "Disque plein", "Disque saturé")                                                                 \
    X(InputPastEnd, 62, "L'entrée dépasse la fin du fichier", nullptr)                                               \
    X(TooManyFiles, 67, nullptr, nullptr)                                                                            \
    X(DeviceUnavailable, 68, nullptr, "Unité de disquette non-disponible")                                           \
    X(PermissionDenied, 70, "Permission refusée",                                                                    \
      "Accès refusé... (La disquette est peut-être protégée en écriture... Vérifiez !)")                             \
    X(DiskNotReady, 71, "Disque non prêt", "Disque non prêt")                                                        \
    X(PathFileAccessError, 75, "Erreur d'accès au chemin ou au fichier", nullptr)                                    \
    /* The report stays silent on a path not found. */                                                              \
    X(PathNotFound, 76, "Chemin d'accès introuvable", nullptr)                                                       \
    X(EngineError, 3000, nullptr, nullptr)                                                                           \
    X(NoCurrentRecord, 3021, nullptr, nullptr)                                                                       \
    X(DuplicateKey, 3022, nullptr, "Impossible de créer des doublons... Modifier le numéro d'inventaire !")         \
    X(DatabaseNotFound, 3024, nullptr, nullptr)                                                                      \
    X(ReadOnlyDatabase, 3027, nullptr, nullptr)                                                                      \
    X(NoPermission, 3033, nullptr, nullptr)                                                                          \
    /* "System resource exceeded": a request stopped after running too long */                                     \
    /* or reading too many rows. */                                                                                  \
    X(QueryTooLong, 3035, nullptr, nullptr)                                                                          \
    X(DiskIoError, 3043, nullptr, nullptr)                                                                           \
    X(DatabaseDamaged, 3049, nullptr,                                                                                \
      "Certains fichiers sont endommagés ou corrompus !!!\n(...suite à une opération d'écriture incomplète...)")     \
    X(CannotLockFile, 3050, nullptr, "Pour que «La LUMA» puisse fonctionner,\nSHARE /L:500   doit être chargé...") \
    X(CannotOpenFile, 3051, nullptr, nullptr)                                                                        \
    X(TooFewParameters, 3061, nullptr, nullptr)                                                                      \
    X(SyntaxError, 3075, nullptr, nullptr)                                                                           \
    X(TableNotFound, 3078, nullptr, nullptr)                                                                         \
    X(AmbiguousField, 3079, nullptr, nullptr)                                                                        \
    X(UndefinedFunction, 3085, nullptr, nullptr)                                                                     \
    X(InvalidStatement, 3129, nullptr, nullptr)                                                                      \
    X(CharactersAfterEnd, 3142, nullptr, nullptr)                                                                    \
    X(FieldTooSmall, 3163, nullptr, nullptr)                                                                         \
    X(FieldNotUpdatable, 3164, nullptr, nullptr)                                                                     \
    X(RecordDeleted, 3167, nullptr, nullptr)                                                                         \
    X(ChangedByAnother, 3197, nullptr, nullptr)                                                                      \
    /* "Could not update; currently locked": a lock another kiosk (or another */                                    \
    /* program) held past the deadline of a wait; nothing was written. */                                            \
    X(OtherKioskBusy, 3218, nullptr, nullptr)                                                                        \
    X(InvalidOperation, 3219, nullptr, nullptr)                                                                      \
    X(RecordLocked, 3260, nullptr, nullptr)                                                                          \
    X(FieldNotFound, 3265, nullptr, nullptr)                                                                         \
    X(FieldRequired, 3314, nullptr, nullptr)                                                                         \
    X(ValidationRule, 3317, nullptr, nullptr)                                                                        \
    X(AccessFormat, 3343, nullptr, nullptr)                                                                          \
    X(CriteriaTypeMismatch, 3464, nullptr, nullptr)

namespace ErrorNumber {

#define LUMA_ERROR_CONSTANT(name, number, description, message) constexpr int name = number;
LUMA_ERROR_NUMBERS(LUMA_ERROR_CONSTANT)
#undef LUMA_ERROR_CONSTANT

// The French description of the number; for a number without one, the
// platform's "Erreur définie par l'application ou par l'objet".
QString description(int number);

// The message the kiosk's error report shows for the number; empty when it
// has none of its own.
QString message(int number);

} // namespace ErrorNumber
