#include "platform/apperror.h"

#include <utility>

AppError::AppError(int number, QString description)
    : m_number(number), m_description(std::move(description)),
      m_utf8(QStringLiteral("%1: %2").arg(m_number).arg(m_description).toStdString())
{
}
