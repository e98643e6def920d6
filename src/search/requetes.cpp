#include "search/requetes.h"

#include "module/module11.h"
#include "platform/apperror.h"
#include "platform/paths.h"

void RequetesSauvegardees::ListeRequetes(Module11 &module)
{
    m_requetes.clear();
    const QString dossier = module.CheminBase() + QStringLiteral("\\REQUETES\\");
    QStringList fichiers;
    if (!module.trapped([&] { fichiers = filesWithExtension(dossier, QStringLiteral(".RQT")); }))
        return;
    for (const QString &fichier : std::as_const(fichiers)) {
        ContenuRequete contenu;
        const bool lu = module.trapped([&] {
            if (!isSafeFileName(fichier))
                throw AppError(ErrorNumber::BadFileName, QStringLiteral("Nom de fichier incorrect : %1").arg(fichier));
            try {
                contenu = LitRequete(dossier + fichier);
            } catch (const AppError &error) {
                // The report names the file, so that the teacher can mend it.
                if (error.description().contains(fichier))
                    throw;
                throw AppError(error.number(), error.description() + QStringLiteral(" (") + fichier +
                                                   QStringLiteral(")"));
            }
        });
        if (module.programEnded())
            return;
        if (lu)
            m_requetes.append({fichier, contenu.titre, contenu.image});
    }
}
