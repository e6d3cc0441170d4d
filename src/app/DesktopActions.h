#pragma once

#include <QString>

// What the desktop does with a song's file: select it in the file manager, or open it with the
// default application. The caller checks that the song has a file (and tells the user when not).
namespace DesktopActions {

// Asks the file manager to show the file selected (org.freedesktop.FileManager1.ShowItems); where
// no file manager answers, opens the folder that holds it.
void revealInFileManager(const QString& path);

// Opens the file (or folder) with the desktop's default application for it.
void openWithDefaultApp(const QString& path);

}  // namespace DesktopActions
