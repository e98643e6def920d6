#include "folder/descriptionerreur.h"

#include "platform/errornumbers.h"

QString descriptionErreur(int number)
{
    return ErrorNumber::description(number);
}
