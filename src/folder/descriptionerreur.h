#pragma once

#include <QString>

// A French description of the platform's error numbers that the program may
// meet outside the database engine (13 type mismatch, 6 overflow...).
QString descriptionErreur(int number);
