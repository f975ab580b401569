// SPDX-License-Identifier: MIT
#include "damageprobe.h"

#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>

#include <poll.h>
#include <unistd.h>

DamageProbe::~DamageProbe()
{
    if (m_listener.joinable()) {
        (void)::write(m_stopPipe[1], "x", 1);
        m_listener.join();
    }
    for (const int fd : m_stopPipe) {
        if (fd >= 0)
            ::close(fd);
    }
    if (m_connection)
        xcb_disconnect(m_connection);
}

bool DamageProbe::watch(const QByteArray &display, quint32 window)
{
    m_connection = xcb_connect(display.constData(), nullptr);
    if (xcb_connection_has_error(m_connection))
        return false;
    const xcb_query_extension_reply_t *extension = xcb_get_extension_data(m_connection, &xcb_damage_id);
    if (!extension || !extension->present)
        return false;
    xcb_damage_query_version_reply_t *version = xcb_damage_query_version_reply(
        m_connection, xcb_damage_query_version(m_connection, XCB_DAMAGE_MAJOR_VERSION, XCB_DAMAGE_MINOR_VERSION),
        nullptr);
    std::free(version);
    // Raw rectangles: an event for every drawing, none to acknowledge.
    const xcb_damage_damage_t damage = xcb_generate_id(m_connection);
    const xcb_void_cookie_t created = xcb_damage_create_checked(m_connection, damage, window,
                                                                 XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
    if (xcb_generic_error_t *error = xcb_request_check(m_connection, created)) {
        std::free(error);
        return false;
    }
    if (::pipe(m_stopPipe) != 0)
        return false;
    m_listener = std::thread(&DamageProbe::listen, this);
    return true;
}

void DamageProbe::listen()
{
    const int notify = extensionEvent();
    pollfd fds[2] = {{xcb_get_file_descriptor(m_connection), POLLIN, 0}, {m_stopPipe[0], POLLIN, 0}};
    for (;;) {
        while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection)) {
            const auto now = Clock::now();
            if ((event->response_type & 0x7f) == notify) {
                const std::lock_guard lock(m_mutex);
                m_times.push_back(now);
                m_changed.notify_all();
            }
            std::free(event);
        }
        if (xcb_connection_has_error(m_connection) || ::poll(fds, 2, -1) < 0 || fds[1].revents)
            return;
    }
}

int DamageProbe::extensionEvent() const
{
    return xcb_get_extension_data(m_connection, &xcb_damage_id)->first_event + XCB_DAMAGE_NOTIFY;
}

std::vector<DamageProbe::Clock::time_point> DamageProbe::take()
{
    const std::lock_guard lock(m_mutex);
    return std::exchange(m_times, {});
}

std::optional<DamageProbe::Clock::time_point> DamageProbe::firstAfter(Clock::time_point since,
                                                                      std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    std::optional<Clock::time_point> found;
    m_changed.wait_for(lock, timeout, [&] {
        const auto at = std::lower_bound(m_times.begin(), m_times.end(), since);
        if (at != m_times.end())
            found = *at;
        return found.has_value();
    });
    return found;
}
