#include "app/forms/Form.h"

#include "app/forms/Handler.h"
#include "app/forms/ProgramEnd.h"

#include "platform/ui/Artwork.h"

#include <QCloseEvent>
#include <QIcon>

#include <unordered_map>

namespace Orvanta {

// Opens the protected load and unload steps to the window registry.
struct FormAccess {
    static void runLoad(Form* f) { f->Form_Load(); }
    static void runUnload(Form* f) { f->Form_Unload(); }
    static void setLoaded(Form* f, bool loaded) { f->m_loaded = loaded; }
};

namespace {

std::unordered_map<std::type_index, Form*>& registry()
{
    static std::unordered_map<std::type_index, Form*> forms;
    return forms;
}

// Takes the window out of the registry and schedules its destruction. The
// object stays valid until control returns to the event loop, so a handler of
// the window itself can go on after unloading it.
void discard(std::type_index type, Form* form)
{
    registry().erase(type);
    FormAccess::setLoaded(form, false);
    form->hide();
    form->deleteLater();
}

} // namespace

Form::Form(QWidget* parent) : QWidget(parent)
{
    // Every window carries the program's icon.
    setWindowIcon(QIcon(Artwork::icon()));
}

Form::~Form()
{
    // Destroyed without an unload (program teardown): forget it all the same.
    auto& forms = registry();
    for (auto it = forms.begin(); it != forms.end(); ++it) {
        if (it->second == this) {
            forms.erase(it);
            break;
        }
    }
}

bool Form::isFormLoaded() const
{
    return m_loaded;
}

void Form::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (!m_loaded)
        return;
    runHandler([this] {
        for (const auto& [type, form] : registry()) {
            if (form == this) {
                Forms::detail::unload(type);
                return;
            }
        }
    });
}

namespace Forms {
namespace detail {

Form* find(std::type_index type)
{
    const auto it = registry().find(type);
    return it == registry().end() ? nullptr : it->second;
}

void load(std::type_index type, Form* form)
{
    registry()[type] = form;
    FormAccess::setLoaded(form, true);
    try {
        FormAccess::runLoad(form);
    } catch (...) {
        if (find(type) == form)
            discard(type, form);
        ProgramEnd::check();
        throw;
    }
}

void show(Form* form)
{
    form->show();
    form->raise();
    form->activateWindow();
}

void hide(Form* form)
{
    form->hide();
}

void unload(std::type_index type)
{
    Form* form = find(type);
    if (!form)
        return;
    // The window goes away even when its unload step fails; the error then
    // goes on to the caller.
    try {
        FormAccess::runUnload(form);
    } catch (...) {
        if (find(type) == form)
            discard(type, form);
        ProgramEnd::check();
        throw;
    }
    if (find(type) == form)
        discard(type, form);
    ProgramEnd::check();
}

} // namespace detail

int loadedCount()
{
    return static_cast<int>(registry().size());
}

} // namespace Forms

} // namespace Orvanta
