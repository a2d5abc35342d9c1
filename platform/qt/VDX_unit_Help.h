#pragma once
// Help for the windows: each window and control may carry a help context
// number (the "helpContext" property); F1 shows the topic of the nearest
// context from the focused control up, Shift+F1 the contents. The topics are
// HTML files in the folder help/ beside the executable.

#include <QString>

class QWidget;

namespace vdx {

inline constexpr const char* kHelpContextProperty = "helpContext";

// Gives a window or control its help context number.
void SetHelpContext(QWidget* widget, int context);

// Shows the topic of a help context; an unknown context or a missing topic
// shows the first topic, or nothing when the help folder is missing.
void ShowHelpContext(int context);
// Shows a topic by its file name ("wnd_add_path.html").
void ShowHelpTopic(const QString& topicFile);

} // namespace vdx
