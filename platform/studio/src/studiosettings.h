#pragma once

#include <QSize>
#include <QString>

// What the studio keeps between runs in "Basic.ini".
struct StudioSettings {
    QSize outputSize { 1280, 720 };
    int fps = 30;
    int bitrateKbps = 1000;
    int keyFrameSec = 3;
    int rateControl = 2; // EncodeRateControl
    int encoder = 0; // VideoEncoder
    QString recordDir;

    // The settings file for the path the caller gave: that path when its folder exists, else "Basic.ini" in
    // ${XDG_CONFIG_HOME:-$HOME/.config}/Tavimeet (the caller's folder is never made: it may name a folder at
    // the root of the file system).
    static QString resolvePath(const QString& requested);
    // False when the file exists but cannot be read, is larger than any we write or holds a value in
    // QSettings' serialised form (none of ours is); values out of range keep their defaults.
    bool load(const QString& path);
    // Written to a temporary file and renamed; false when the folder cannot be made or written.
    bool save(const QString& path) const;
};
