// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/AccessibleBatch.h"

#include <atspi/atspi.h>
#include <dbus/dbus.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

constexpr const char* kAccessible = "org.a11y.atspi.Accessible";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";
constexpr const char* kNullPath = "/org/a11y/atspi/null";
// A broken bridge must not make us send millions of calls.
constexpr dbus_int32_t kMaxChildren = 65536;
constexpr std::size_t kChunk = 128;

/// Method calls that are all sent first and answered afterwards.
class TPendingCalls
{
public:
    TPendingCalls(DBusConnection* connection, int timeoutMs) : m_connection(connection), m_timeoutMs(timeoutMs) {}
    ~TPendingCalls()
    {
        for (DBusPendingCall* call : m_calls)
            if (call) {
                dbus_pending_call_cancel(call);
                dbus_pending_call_unref(call);
            }
        for (DBusMessage* reply : m_replies)
            if (reply)
                dbus_message_unref(reply);
    }
    TPendingCalls(const TPendingCalls&) = delete;
    TPendingCalls& operator=(const TPendingCalls&) = delete;

    /// Queues a call of a method of the accessible with up to two string
    /// arguments or one number; returns its number.
    std::size_t Send(const TAccessibleRef& ref, const char* interface, const char* method, const char* first = nullptr,
                     const char* second = nullptr, const dbus_int32_t* number = nullptr)
    {
        DBusPendingCall* call = nullptr;
        if (DBusMessage* message = dbus_message_new_method_call(ref.bus.c_str(), ref.path.c_str(), interface, method)) {
            if (first && second)
                dbus_message_append_args(message, DBUS_TYPE_STRING, &first, DBUS_TYPE_STRING, &second,
                                         DBUS_TYPE_INVALID);
            if (number)
                dbus_message_append_args(message, DBUS_TYPE_INT32, number, DBUS_TYPE_INVALID);
            if (!dbus_connection_send_with_reply(m_connection, message, &call, m_timeoutMs))
                call = nullptr;
            dbus_message_unref(message);
        }
        m_calls.push_back(call);
        m_replies.push_back(nullptr);
        m_timedOut.push_back(false);
        return m_calls.size() - 1;
    }

    /// Puts every queued call on the wire. A bridge sometimes leaves the last
    /// call unanswered until another message reaches it: a ping that wants
    /// no answer follows the calls.
    void Flush(const TAccessibleRef& last)
    {
        if (DBusMessage* ping =
                dbus_message_new_method_call(last.bus.c_str(), "/", "org.freedesktop.DBus.Peer", "Ping")) {
            dbus_message_set_no_reply(ping, TRUE);
            dbus_connection_send(m_connection, ping, nullptr);
            dbus_message_unref(ping);
        }
        dbus_connection_flush(m_connection);
    }

    /// The answer to call n, waited for; nullptr when it failed.
    DBusMessage* Reply(std::size_t n)
    {
        if (DBusPendingCall* call = m_calls[n]) {
            dbus_pending_call_block(call);
            DBusMessage* reply = dbus_pending_call_steal_reply(call);
            dbus_pending_call_unref(call);
            m_calls[n] = nullptr;
            if (reply && dbus_message_get_type(reply) == DBUS_MESSAGE_TYPE_ERROR) {
                m_timedOut[n] = std::strcmp(dbus_message_get_error_name(reply), DBUS_ERROR_NO_REPLY) == 0;
                dbus_message_unref(reply);
                reply = nullptr;
            }
            m_replies[n] = reply;
        }
        return m_replies[n];
    }
    bool TimedOut(std::size_t n) const { return m_timedOut[n]; }

private:
    DBusConnection* m_connection;
    int m_timeoutMs;
    std::vector<DBusPendingCall*> m_calls;
    std::vector<DBusMessage*> m_replies;
    std::vector<bool> m_timedOut;
};

// The single value of a reply, looking through a variant (a property).
bool FirstValue(DBusMessage* reply, int type, DBusMessageIter* value)
{
    DBusMessageIter top;
    if (!reply || !dbus_message_iter_init(reply, &top))
        return false;
    if (dbus_message_iter_get_arg_type(&top) == DBUS_TYPE_VARIANT)
        dbus_message_iter_recurse(&top, value);
    else
        *value = top;
    return dbus_message_iter_get_arg_type(value) == type;
}

std::string StringOf(DBusMessage* reply)
{
    DBusMessageIter value;
    const char* text = nullptr;
    if (!FirstValue(reply, DBUS_TYPE_STRING, &value))
        return std::string();
    dbus_message_iter_get_basic(&value, &text);
    return text ? text : "";
}

template <typename T>
T NumberOf(DBusMessage* reply, int type, T otherwise)
{
    DBusMessageIter value;
    if (!FirstValue(reply, type, &value))
        return otherwise;
    T number{};
    dbus_message_iter_get_basic(&value, &number);
    return number;
}

TAccessibleRef RefOf(DBusMessageIter* structure)
{
    DBusMessageIter field;
    dbus_message_iter_recurse(structure, &field);
    const char* bus = nullptr;
    const char* path = nullptr;
    if (dbus_message_iter_get_arg_type(&field) == DBUS_TYPE_STRING)
        dbus_message_iter_get_basic(&field, &bus);
    dbus_message_iter_next(&field);
    if (dbus_message_iter_get_arg_type(&field) == DBUS_TYPE_OBJECT_PATH)
        dbus_message_iter_get_basic(&field, &path);
    if (!bus || !path || std::strcmp(path, kNullPath) == 0)
        return TAccessibleRef{bus ? bus : "", std::string()};
    return TAccessibleRef{bus, path};
}

std::uint64_t StatesOf(DBusMessage* reply)
{
    DBusMessageIter words;
    if (!FirstValue(reply, DBUS_TYPE_ARRAY, &words))
        return 0;
    DBusMessageIter word;
    dbus_message_iter_recurse(&words, &word);
    std::uint64_t states = 0;
    for (int shift = 0; shift < 64 && dbus_message_iter_get_arg_type(&word) == DBUS_TYPE_UINT32; shift += 32) {
        dbus_uint32_t bits = 0;
        dbus_message_iter_get_basic(&word, &bits);
        states |= std::uint64_t(bits) << shift;
        dbus_message_iter_next(&word);
    }
    return states;
}

bool ChildrenOf(DBusMessage* reply, std::vector<TAccessibleRef>* children)
{
    DBusMessageIter array;
    if (!FirstValue(reply, DBUS_TYPE_ARRAY, &array))
        return false;
    DBusMessageIter entry;
    dbus_message_iter_recurse(&array, &entry);
    for (; dbus_message_iter_get_arg_type(&entry) == DBUS_TYPE_STRUCT; dbus_message_iter_next(&entry))
        children->push_back(RefOf(&entry));
    return true;
}

// Where a bridge refuses the whole list of children, they are asked for one
// by one, as the accessibility library itself does.
void AskChildrenOneByOne(DBusConnection* connection, const std::vector<TAccessibleRef>& refs,
                         const std::vector<std::size_t>& which, std::vector<TAccessibleFacts>& facts, int timeoutMs)
{
    TPendingCalls counts(connection, timeoutMs);
    for (std::size_t i : which)
        counts.Send(refs[i], kProperties, "Get", kAccessible, "ChildCount");
    counts.Flush(refs[which.back()]);
    TPendingCalls children(connection, timeoutMs);
    std::vector<std::size_t> owner; // the accessible each call asks about
    for (std::size_t n = 0; n < which.size(); ++n) {
        const dbus_int32_t count = std::min(NumberOf<dbus_int32_t>(counts.Reply(n), DBUS_TYPE_INT32, 0), kMaxChildren);
        for (dbus_int32_t index = 0; index < count; ++index) {
            children.Send(refs[which[n]], kAccessible, "GetChildAtIndex", nullptr, nullptr, &index);
            owner.push_back(which[n]);
        }
    }
    children.Flush(refs[which.back()]);
    for (std::size_t call = 0; call < owner.size(); ++call) {
        DBusMessageIter structure;
        facts[owner[call]].children.push_back(
            FirstValue(children.Reply(call), DBUS_TYPE_STRUCT, &structure) ? RefOf(&structure) : TAccessibleRef{});
    }
}

} // namespace

std::vector<TAccessibleFacts> AskAccessibles(DBusConnection* connection, const std::vector<TAccessibleRef>& refs,
                                             int timeoutMs)
{
    std::vector<TAccessibleFacts> facts(refs.size());
    if (!connection || refs.empty())
        return facts;
    // In chunks, the next one sent before the answers to this one are read:
    // the bridge always has work, and the library's list of pending time-outs,
    // searched on every answer, stays short.
    auto send = [&](std::size_t chunk) {
        auto calls = std::make_unique<TPendingCalls>(connection, timeoutMs);
        for (std::size_t i = chunk * kChunk; i < std::min(refs.size(), (chunk + 1) * kChunk); ++i) {
            calls->Send(refs[i], kProperties, "Get", kAccessible, "Name");
            calls->Send(refs[i], kAccessible, "GetRole");
            calls->Send(refs[i], kAccessible, "GetState");
            calls->Send(refs[i], kAccessible, "GetChildren");
        }
        calls->Flush(refs[std::min(refs.size(), (chunk + 1) * kChunk) - 1]);
        return calls;
    };
    std::unique_ptr<TPendingCalls> calls = send(0);
    std::unique_ptr<TPendingCalls> following;
    std::vector<std::size_t> refused;
    std::vector<std::size_t> unnamedRoles;
    for (std::size_t i = 0; i < refs.size(); ++i) {
        const std::size_t chunk = i / kChunk;
        const std::size_t at = 4 * (i % kChunk);
        if (i % kChunk == 0) {
            if (following)
                calls = std::move(following);
            if ((chunk + 1) * kChunk < refs.size())
                following = send(chunk + 1);
        }
        TAccessibleFacts& fact = facts[i];
        fact.name = StringOf(calls->Reply(at));
        // As the accessibility library names roles: its own English name
        // where it knows the role, else the bridge's.
        const auto role = NumberOf<dbus_uint32_t>(calls->Reply(at + 1), DBUS_TYPE_UINT32, ATSPI_ROLE_INVALID);
        if (role < ATSPI_ROLE_COUNT && role != ATSPI_ROLE_EXTENDED) {
            gchar* name = atspi_role_get_name(static_cast<AtspiRole>(role));
            fact.roleName = name ? name : "";
            g_free(name);
        } else {
            unnamedRoles.push_back(i);
        }
        fact.states = StatesOf(calls->Reply(at + 2));
        if (!ChildrenOf(calls->Reply(at + 3), &fact.children) && !calls->TimedOut(at + 3))
            refused.push_back(i);
    }
    if (!refused.empty())
        AskChildrenOneByOne(connection, refs, refused, facts, timeoutMs);
    if (!unnamedRoles.empty()) {
        TPendingCalls names(connection, timeoutMs);
        for (std::size_t i : unnamedRoles)
            names.Send(refs[i], kAccessible, "GetRoleName");
        names.Flush(refs[unnamedRoles.back()]);
        for (std::size_t n = 0; n < unnamedRoles.size(); ++n)
            facts[unnamedRoles[n]].roleName = StringOf(names.Reply(n));
    }
    return facts;
}
