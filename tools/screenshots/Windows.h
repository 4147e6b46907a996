#pragma once
#include <QList>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

// The windows the screenshot tool can grab. To add one, add an entry to
// ScreenshotWindows() in Windows.cpp: a name (also the file name,
// docs/<name>.png), a line for --list, and a function that makes the window
// filled as a user would see it. The tool runs offscreen in a fresh
// application folder (its user.ini and files are its own), with the program's
// fonts and icon.
struct ScreenshotWindow {
    QString name;
    QString description;
    std::function<std::unique_ptr<QWidget>()> make;
};

QList<ScreenshotWindow> ScreenshotWindows();
