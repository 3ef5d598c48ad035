// The boundary of every handler. Qt calls the windows' handlers from its own
// signal and event dispatch, and an exception must never unwind through that
// code: a button would stay pressed, a popup open, a signal half delivered.
// So each handler is entered through runHandler, which stops an error right
// there, shows it as the run-time error message, and lets the program go on.
//
// Signals reach handlers through connectHandler; event overrides put their
// body inside runHandler. A handler that runs while another one is running
// (a signal raised by code, events processed in a nested loop, a modal
// message) has a boundary of its own: its error is reported where it was
// entered and the outer handler goes on.
#pragma once

#include <QObject>

#include <functional>
#include <type_traits>
#include <utility>

namespace Orvanta {

// Runs one handler: counted as running (see ProgramEnd.h), an error reported
// as the run-time error message, the program end checked afterwards. Returns
// false when the handler failed.
bool runHandler(const std::function<void()>& handler);

namespace detail {

// The argument list of a handler, so that the guarding lambda takes exactly
// the arguments the handler takes and Qt can match it to the signal.
template <class F> struct HandlerArgs : HandlerArgs<decltype(&F::operator())> {};
template <class C, class R, class... A> struct HandlerArgs<R (C::*)(A...)> {
    template <class Call> static auto guard(Call call)
    {
        return [call = std::move(call)](A... args) mutable { runHandler([&] { call(args...); }); };
    }
};
template <class C, class R, class... A> struct HandlerArgs<R (C::*)(A...) const> : HandlerArgs<R (C::*)(A...)> {};
template <class C, class R, class... A> struct HandlerArgs<R (C::*)(A...) noexcept> : HandlerArgs<R (C::*)(A...)> {};
template <class C, class R, class... A>
struct HandlerArgs<R (C::*)(A...) const noexcept> : HandlerArgs<R (C::*)(A...)> {};

} // namespace detail

// Connects a signal to a member handler of `receiver` behind the guard; the
// connection ends with the receiver, as Qt's own does.
template <class Sender, class Signal, class Receiver, class Target, class R, class... A>
QMetaObject::Connection connectHandler(const Sender* sender, Signal signal, Receiver* receiver,
                                       R (Target::*handler)(A...))
{
    static_assert(std::is_base_of_v<Target, Receiver>, "the handler belongs to the receiver");
    auto call = [receiver, handler](A... args) { (receiver->*handler)(std::forward<A>(args)...); };
    return QObject::connect(sender, signal, receiver, detail::HandlerArgs<decltype(call)>::guard(std::move(call)));
}

// Connects a signal to a function object behind the guard; `context` ends the
// connection.
template <class Sender, class Signal, class Handler>
    requires(!std::is_member_function_pointer_v<Handler>)
QMetaObject::Connection connectHandler(const Sender* sender, Signal signal, const QObject* context, Handler handler)
{
    return QObject::connect(sender, signal, context, detail::HandlerArgs<Handler>::guard(std::move(handler)));
}

} // namespace Orvanta
