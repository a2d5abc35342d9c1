#pragma once
// Help for the windows: each window and control may carry a help context
// number (the "helpContext" property); F1 shows the topic of the nearest
// context from the focused control up, Shift+F1 nothing. The topics are HTML
// files in the folder help/ beside the executable, shown in the program's
// own help window; when that folder is missing every help request does
// nothing, silently.

#include <QString>

class QApplication;
class QWidget;

namespace vdx {

inline constexpr const char* kHelpContextProperty = "helpContext";

// The topic every unknown context (0 included) opens, and the contents.
inline constexpr const char* kHelpContentsTopic = "what_is_vdx.html";

// Gives a window or control its help context number.
void SetHelpContext(QWidget* widget, int context);

// The topic file of a context number ("wnd_add_path.html" for 3).
QString HelpTopicOfContext(int context);

// The context F1 finds from widget: the first non-zero context walking up
// from widget through its parents to its window, a label counting with the
// context of the control it names (its buddy); 0 when there is none.
int HelpContextOf(const QWidget* widget);

// Shows the topic of a help context; an unknown context or a missing topic
// shows the contents topic (or the first topic there is), nothing when the
// help folder is missing. From a modal dialog the help window belongs to
// that dialog, so that it can be used while the dialog is open.
void ShowHelpContext(int context);
// Shows a topic by its file name ("wnd_add_path.html").
void ShowHelpTopic(const QString& topicFile);

// F1 and Shift+F1 for the whole program: an application event filter that
// swallows both keys; F1 opens the help of the focused control.
void InstallHelpKeys(QApplication& app);

// The folder of the topics; QCoreApplication::applicationDirPath() + "/help"
// unless set (an empty folder restores that default).
QString HelpFolder();
void SetHelpFolder(const QString& folder);

// The help window, null before the first topic was shown, and the file name
// of the topic it shows.
QWidget* HelpWindow();
QString HelpWindowTopic();

} // namespace vdx
