#pragma once

#include <QString>
#include <QStringList>

// Operating-system services the program needs, behind one seam: Windows
// and Linux branches here, a recording fake in tests.
class PlatformServices
{
public:
    virtual ~PlatformServices() = default;
    // Starts a program detached; `hidden` asks for no visible window.
    virtual bool startProgram(const QString &path, const QStringList &args = {},
                              bool hidden = false) = 0;
    // Opens a file with the system's default action.
    virtual bool openWithDefault(const QString &path) = 0;
    // Copies `source` over `target`, replacing it. On failure the old target
    // is left as it was.
    virtual bool copyFileOver(const QString &source, const QString &target) = 0;
};

class SystemPlatformServices : public PlatformServices
{
public:
    bool startProgram(const QString &path, const QStringList &args, bool hidden) override;
    bool openWithDefault(const QString &path) override;
    bool copyFileOver(const QString &source, const QString &target) override;
};

// Test double: records each call and does nothing else.
class RecordingPlatformServices : public PlatformServices
{
public:
    bool startProgram(const QString &path, const QStringList &args, bool hidden) override;
    bool openWithDefault(const QString &path) override;
    bool copyFileOver(const QString &source, const QString &target) override;

    QStringList calls;
    bool copyResult = true;
};
