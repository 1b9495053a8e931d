#pragma once
// The settings file on the workbench: each line of "_HHSettings.txt" bound to
// its control, found by the window's and the control's program names, and the
// four commands of the File menu that save and restore it.

#include <QString>
#include <string>
#include <vector>

class QAction;
class QObject;
class QWidget;

namespace membrix {

class Workbench;
struct SettingsValues;

// The window of that program name ("Form4", "Form31", ...), one of those the
// workbench made at start-up; null for a name the workbench does not have.
QWidget* SettingsWindow(Workbench& wb, const std::string& name);

// The control of that program name inside the window, not inside another
// window parented to it; menu items and sub-menus count as controls.
QObject* SettingsControl(QWidget* window, const QString& name);

// One value per settings line, from the controls as they are now.
std::vector<double> CollectSettings(Workbench& wb);

// Sets the controls from the lines read, as if the researcher entered each
// value, then brings the parameters up to date from the restored inputs.
void ApplySettings(Workbench& wb, const SettingsValues& values);

// Writes the settings file. Throws IoError.
void WriteSettings(Workbench& wb, const QString& file);
// Reads the settings file when it exists and applies it; returns whether it
// existed. A bad file throws FormatError and changes nothing.
bool ReadSettings(Workbench& wb, const QString& file);

// Connects one of the File menu's settings commands ("Save all settings",
// "Restore previous settings", "Save settings as ...", "Load settings from
// ...", by the item's name) to its operation.
void ConnectSettingsCommand(Workbench& wb, QAction* item);

}  // namespace membrix
