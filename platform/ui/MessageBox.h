// The message box every window uses. A test installs a recorder so that a
// message is captured instead of waiting for a click.
#pragma once

#include <QString>

#include <functional>

namespace Orvanta {

class MessageSink {
public:
    using Recorder = std::function<void(QString caption, QString text)>;

    // Replaces the box with the recorder; an empty function restores the box.
    static void setRecorder(Recorder recorder);

    // A modal message box with an OK button, or the recorder when one is set.
    static void show(QString caption, QString text);
};

} // namespace Orvanta
