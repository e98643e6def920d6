#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

// Builds a complete demo data folder: DIR/LALUMA (catalogue, descriptors,
// covers, sounds, request pictures and requests) and DIR/ALTEMARE beside it
// (classes, children, class pictures and photographs). The content is
// invented; one seed always gives the same folder (loan dates are counted
// back from today).
struct DemoOptions
{
    QString folder;           // DIR: receives LALUMA and ALTEMARE
    int documents = 400;      // 1 to 100000
    int children = 80;        // 1 to 100000
    bool sounds = true;       // spoken WAVs made with espeak-ng
    std::uint32_t seed = 1;
};

struct DemoReport
{
    bool ok = false;
    QString error;            // French, when !ok
    QStringList warnings;     // French, things skipped
    int classes = 0;
    int covers = 0;
    int photos = 0;
    int loans = 0;
    int requests = 0;
    int sounds = 0;
};

// The largest catalogue: inventory numbers have five digits.
constexpr int MaxDemoDocuments = 100000;
constexpr int MaxDemoChildren = 100000;

// Five-digit inventory number of the document at position index (from 0):
// 00001, 00002, ... 99999, and 00000 for the hundred-thousandth.
QString demoInventory(int index);

// Never overwrites anything: refuses when DIR/LALUMA or DIR/ALTEMARE exists
// and is not empty.
DemoReport generateDemo(const DemoOptions &options);
