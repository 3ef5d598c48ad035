// The window model: every window of the program is one shared instance that
// is loaded (created, load step run) on its first show, can be hidden and
// shown again, and is destroyed on unload. The program ends when no window is
// loaded and no handler is running.
#pragma once

#include <QWidget>

#include <typeindex>
#include <typeinfo>

class QCloseEvent;

namespace Orvanta {

// Base of the program's three windows (FrmIni, FrmVelmoraMain, frmBrowser).
// A window builds its controls from its design data in its constructor; its
// behaviour at load and unload goes into Form_Load and Form_Unload.
class Form : public QWidget {
    Q_OBJECT
public:
    explicit Form(QWidget* parent = nullptr);
    ~Form() override;

    bool isFormLoaded() const; // true between load and unload

protected:
    virtual void Form_Load() {}   // the window's load step; runs once per load, before it is visible
    virtual void Form_Unload() {} // runs when the window unloads
    void closeEvent(QCloseEvent* event) override; // the user's close = unload

private:
    friend struct FormAccess;
    bool m_loaded = false;
};

// Shared instances: each window class exists at most once.
namespace Forms {

namespace detail {
Form* find(std::type_index type);
// Registers a freshly built window as loaded and runs its load step. When the
// load step fails the window is destroyed again (so no invisible window is
// left to keep the program alive) and the error goes on to the caller.
void load(std::type_index type, Form* form);
void show(Form* form);
void hide(Form* form);
void unload(std::type_index type);
} // namespace detail

// The instance, or nullptr when not loaded.
template <class T> T* loaded()
{
    return static_cast<T*>(detail::find(std::type_index(typeid(T))));
}

// Creates it (design data in its constructor) and runs Form_Load; stays invisible.
template <class T> T& load()
{
    if (T* existing = loaded<T>())
        return *existing;
    T* form = new T();
    detail::load(std::type_index(typeid(T)), form);
    return *form;
}

// Load if needed, then make visible, raise and activate (modeless, no owner).
template <class T> T& show()
{
    T& form = load<T>();
    detail::show(&form);
    return form;
}

// Invisible, stays loaded. Does nothing when the window is not loaded.
template <class T> void hide()
{
    if (T* form = loaded<T>())
        detail::hide(form);
}

// Runs Form_Unload and destroys the window (deferred deletion, so unloading
// inside the window's own handler is safe); a later show loads afresh.
// Does nothing when the window is not loaded.
template <class T> void unload()
{
    detail::unload(std::type_index(typeid(T)));
}

// Number of loaded windows.
int loadedCount();

} // namespace Forms

} // namespace Orvanta
