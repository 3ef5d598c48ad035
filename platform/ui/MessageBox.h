// The message box every window uses. A test installs a recorder so that a
// message is captured instead of waiting for a click, and an answerer that
// answers a question. A box whose text is too long for the screen shows it
// in a bounded scrolling field (FittedMessage.h).
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

    using Answerer = std::function<bool(QString caption, QString text)>;

    // Replaces the question box with the answerer; an empty function restores
    // the box.
    static void setAnswerer(Answerer answerer);

    // A modal question with the buttons 是 (yes) and 否 (no), 否 the default
    // so that Enter loses nothing; true for yes. Closing the box is no.
    static bool ask(QString caption, QString text);
};

} // namespace Orvanta
