#pragma once

#include <QString>
#include <functional>
#include <optional>

class QWidget;

// The folder and file choosers of the export and listing flows, shown window-modal on the main
// window. Each calls `done` with the chosen path, or never when the user cancels. Tests answer
// them instead of a real dialog.
class FileChoosers {
  public:
    static constexpr const char* kDestinationTitle = "Destination folder";

    // Title "Destination folder", the message "Please choose destination folder for saving
    // data.", the button "Start export"; folders only, new folders allowed.
    static void chooseDestinationFolder(QWidget* window, std::function<void(const QString&)> done);
    // A save chooser for a listing of `typeName` ("CSV file"), proposing `proposedName` with the
    // type's `extension` (".csv"), which is added when the user leaves it out.
    static void chooseListingFile(QWidget* window, const QString& proposedName,
                                  const QString& typeName, const QString& extension,
                                  std::function<void(const QString&)> done);

    // From now on every chooser asks `answer` with its title instead of showing itself; no
    // answer means the user cancelled. An empty function shows the real choosers again.
    static void answerForTests(std::function<std::optional<QString>(const QString& title)> answer);
};
