#pragma once

// Shared set-up of the fuzz targets: one Qt application object for the whole
// run, logging silenced (the readers log every bad input they meet), the
// preferences in a temporary file, and a document on an in-memory store.

#include "Defaults.h"
#include "ManagedObjectContext.h"
#include "MyDocument.h"
#include "TodoModel.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace fuzz {

enum class Gui { Needed, NotNeeded };

// A folder of the run's own, removed when the process ends.
inline const QTemporaryDir &scratch()
{
    static QTemporaryDir dir;
    return dir;
}

inline void startQt(Gui gui)
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QLoggingCategory::setFilterRules(QStringLiteral("*=false"));
    if (gui == Gui::Needed)
        new QGuiApplication(argc, argv);
    else
        new QCoreApplication(argc, argv);
    Defaults::useFileForTesting(scratch().filePath(QStringLiteral("defaults.ini")));
}

inline std::unique_ptr<MyDocument> newDocument()
{
    return std::make_unique<MyDocument>(std::make_unique<ManagedObjectContext>(todoListModel()));
}

inline QByteArray bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

} // namespace fuzz
