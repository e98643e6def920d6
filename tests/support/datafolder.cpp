#include "datafolder.h"

#include "testdb.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <stdexcept>

DataFolder::DataFolder()
{
    if (!m_dir.isValid())
        throw std::runtime_error("no temporary folder");
    QDir(root()).mkpath(QStringLiteral("LALUMA/SONS"));
    QDir(root()).mkpath(QStringLiteral("ALTEMARE"));
}

void DataFolder::fillSmallSchool()
{
    TestDb::createSchool(schoolDb());
    TestDb::addClass(schoolDb(), "1", "Mme Lefèvre");
    TestDb::addClass(schoolDb(), "2", "M. Dubois");
    TestDb::addChild(schoolDb(), "12", "MARTIN", "Léa", "01", "MS");
    TestDb::addChild(schoolDb(), "13", "BERNARD", "Zoé", "01", "MS");
    TestDb::addChild(schoolDb(), "20", "PETIT", "Noé", "02", "GS");

    TestDb::createCatalogue(catalogue());
    TestDb::addDocument(catalogue(), "00001", "Le loup", "O", "N", "", "", "", "3", "843", "Éditions du Pré", "loup");
    TestDb::addDocument(catalogue(), "00002", "La ferme", "O", "N");
    TestDb::addDocument(catalogue(), "00012", "Les couleurs", "O", "N");
    TestDb::addDocument(catalogue(), "00042", "Le loup", "O", "N", "", "", "", "", "843", "Éditions du Pré");

    TestDb::createDescriptors(descriptors());
    TestDb::insert(descriptors(), "luma+", {"descripteur"}, {"animaux"});
    TestDb::exec(base() + QStringLiteral("/MEMBRES.MDB"), "CREATE TABLE membres(nom TEXT)");
}

void DataFolder::writeFile(const QString &relativePath, const QByteArray &bytes)
{
    const QString path = root() + QLatin1Char('/') + relativePath;
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write test file");
}

QByteArray DataFolder::readFile(const QString &relativePath) const
{
    QFile file(root() + QLatin1Char('/') + relativePath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool DataFolder::exists(const QString &relativePath) const
{
    return QFileInfo::exists(root() + QLatin1Char('/') + relativePath);
}
