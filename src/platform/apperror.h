#pragma once

#include "platform/errornumbers.h"

#include <QString>
#include <exception>
#include <string>

// The one exception type of the data and file layers. It carries the error
// number the way the original platform numbered file and database errors
// (ErrorNumber: 53 file not found, 3022 duplicate key, 3049 damaged
// database...) and a French description, so the error report can choose its
// message by number.
class AppError : public std::exception
{
public:
    AppError(int number, QString description);

    int number() const { return m_number; }
    const QString &description() const { return m_description; }
    const char *what() const noexcept override { return m_utf8.c_str(); }

private:
    int m_number;
    QString m_description;
    std::string m_utf8;
};
