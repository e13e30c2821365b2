#include "studiosettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <cstdio>

namespace {

constexpr char kSection[] = "Video";

struct Key {
    const char* name;
    int StudioSettings::*field;
    int low;
    int high;
};

constexpr Key kIntKeys[] = {
    { "FPS", &StudioSettings::fps, 1, 120 },
    { "Bitrate", &StudioSettings::bitrateKbps, 50, 100000 },
    { "KeyframeSec", &StudioSettings::keyFrameSec, 1, 60 },
    { "RateControl", &StudioSettings::rateControl, 0, 2 },
    { "Encoder", &StudioSettings::encoder, 0, 1 },
};

constexpr int kMaxSide = 8192;

// The file we write is a few hundred bytes; a larger one is none of ours.
constexpr qint64 kMaxFileBytes = 64 * 1024;

// Whether the file may go to QSettings. Its INI reader decodes every "@Variant(" value as it loads, through
// QDataStream, where a corrupt one can ask for any amount of memory; no value of ours is written that way.
bool safeToParse(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.read(kMaxFileBytes + 1);
    return bytes.size() <= kMaxFileBytes && !bytes.contains("@Variant(");
}

QString configHome()
{
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return xdg;
    const QString home = qEnvironmentVariable("HOME");
    return home.isEmpty() ? QString() : home + "/.config";
}

} // namespace

QString StudioSettings::resolvePath(const QString& requested)
{
    if (!requested.isEmpty()) {
        const QFileInfo info(QDir::cleanPath(requested));
        if (info.absoluteDir().exists())
            return info.absoluteFilePath();
    }
    const QString base = configHome();
    return base.isEmpty() ? QString() : base + "/Tavimeet/Basic.ini";
}

bool StudioSettings::load(const QString& path)
{
    if (path.isEmpty())
        return false;
    if (!QFileInfo::exists(path))
        return true;
    if (!safeToParse(path))
        return false;
    QSettings file(path, QSettings::IniFormat);
    file.setIniCodec("UTF-8");
    if (file.status() != QSettings::NoError)
        return false;
    file.beginGroup(kSection);
    for (const Key& key : kIntKeys) {
        bool ok = false;
        const int value = file.value(key.name).toInt(&ok);
        if (ok && value >= key.low && value <= key.high)
            this->*key.field = value;
    }
    bool okWidth = false;
    bool okHeight = false;
    const int width = file.value("OutputCX").toInt(&okWidth);
    const int height = file.value("OutputCY").toInt(&okHeight);
    if (okWidth && okHeight && width >= 2 && height >= 2 && width <= kMaxSide && height <= kMaxSide)
        outputSize = QSize(width, height);
    file.endGroup();
    recordDir = file.value("Output/RecordDir").toString();
    return true;
}

bool StudioSettings::save(const QString& path) const
{
    if (path.isEmpty() || !QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    // QSettings writes in place: it fills a temporary file beside the real one, which is then renamed over
    // it, so a crash never leaves half a file.
    const QString temporary = path + ".tmp";
    QFile::remove(temporary);
    {
        QSettings file(temporary, QSettings::IniFormat);
        file.setIniCodec("UTF-8");
        file.beginGroup(kSection);
        file.setValue("OutputCX", outputSize.width());
        file.setValue("OutputCY", outputSize.height());
        for (const Key& key : kIntKeys)
            file.setValue(key.name, this->*key.field);
        file.endGroup();
        file.setValue("Output/RecordDir", recordDir);
        file.sync();
        if (file.status() != QSettings::NoError) {
            QFile::remove(temporary);
            return false;
        }
    }
    if (std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) != 0) {
        QFile::remove(temporary);
        return false;
    }
    return true;
}
