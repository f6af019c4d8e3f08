/* Types into the focused window under KWin on Wayland, as a keyboard would:
 *   kwin-type [-k KEY | TEXT]...
 * KEY is one of Tab, space, Return, Escape, BackSpace; TEXT is printable
 * ASCII, typed on a US layout (KWin's keymap unless configured otherwise),
 * with Shift held for the characters that need it.
 *
 * The keys go through KWin's org_kde_kwin_fake_input. KWin announces that
 * global only to programs a .desktop file names (Exec= this executable's
 * path, X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input); to any other
 * program it does not exist, and kwin-type says so and exits with 2. */

#include "fake-input-client-protocol.h"

#include <linux/input-event-codes.h>
#include <stdio.h>
#include <string.h>
#include <wayland-client.h>

static struct org_kde_kwin_fake_input *fakeInput;

static void global(void *data, struct wl_registry *registry, uint32_t name, const char *interface, uint32_t version)
{
    (void)data;
    /* keyboard_key came with version 4. */
    if (strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 4)
        fakeInput = wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4);
}

static void globalRemove(void *data, struct wl_registry *registry, uint32_t name)
{
    (void)data;
    (void)registry;
    (void)name;
}

static const struct wl_registry_listener registryListener = {global, globalRemove};

/* One row of a US keyboard: its characters without and with Shift, and the
 * key code of the first (the row's codes follow one another). */
struct Row {
    const char *plain, *shifted;
    int first;
};

static const struct Row rows[] = {
    {"1234567890-=", "!@#$%^&*()_+", KEY_1},
    {"qwertyuiop[]", "QWERTYUIOP{}", KEY_Q},
    {"asdfghjkl;'`", "ASDFGHJKL:\"~", KEY_A},
    {"\\", "|", KEY_BACKSLASH},
    {"zxcvbnm,./", "ZXCVBNM<>?", KEY_Z},
    {" ", "", KEY_SPACE},
};

/* The key code that types c, and whether Shift goes with it; 0 for none. */
static int keyOf(char c, int *shift)
{
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
        const char *at = strchr(rows[i].plain, c);
        if (at != NULL) {
            *shift = 0;
            return rows[i].first + (int)(at - rows[i].plain);
        }
        at = strchr(rows[i].shifted, c);
        if (at != NULL) {
            *shift = 1;
            return rows[i].first + (int)(at - rows[i].shifted);
        }
    }
    return 0;
}

static const struct {
    const char *name;
    int code;
} namedKeys[] = {
    {"Tab", KEY_TAB},
    {"space", KEY_SPACE},
    {"Return", KEY_ENTER},
    {"Escape", KEY_ESC},
    {"BackSpace", KEY_BACKSPACE},
};

static int namedKey(const char *name)
{
    for (size_t i = 0; i < sizeof namedKeys / sizeof namedKeys[0]; ++i) {
        if (strcmp(namedKeys[i].name, name) == 0)
            return namedKeys[i].code;
    }
    return 0;
}

/* The keys the arguments name, in order, all read before the first one goes. */
struct Key {
    int code, shift;
};
static struct Key keys[4096];
static size_t count;

static int add(int code, int shift)
{
    if (code == 0 || count == sizeof keys / sizeof keys[0])
        return 0;
    keys[count++] = (struct Key) {code, shift};
    return 1;
}

static void press(struct Key key)
{
    if (key.shift)
        org_kde_kwin_fake_input_keyboard_key(fakeInput, KEY_LEFTSHIFT, WL_KEYBOARD_KEY_STATE_PRESSED);
    org_kde_kwin_fake_input_keyboard_key(fakeInput, (uint32_t)key.code, WL_KEYBOARD_KEY_STATE_PRESSED);
    org_kde_kwin_fake_input_keyboard_key(fakeInput, (uint32_t)key.code, WL_KEYBOARD_KEY_STATE_RELEASED);
    if (key.shift)
        org_kde_kwin_fake_input_keyboard_key(fakeInput, KEY_LEFTSHIFT, WL_KEYBOARD_KEY_STATE_RELEASED);
}

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "-k") == 0) {
            if (++i == argc || !add(namedKey(argv[i]), 0)) {
                fprintf(stderr, "kwin-type: -k takes Tab, space, Return, Escape or BackSpace\n");
                return 1;
            }
            continue;
        }
        for (const char *c = argv[i]; *c; ++c) {
            int shift = 0;
            const int code = keyOf(*c, &shift);
            if (!add(code, shift)) {
                fprintf(stderr, "kwin-type: no key types '%c' (or more than %zu keys)\n", *c, count);
                return 1;
            }
        }
    }

    struct wl_display *display = wl_display_connect(NULL);
    if (display == NULL) {
        fprintf(stderr, "kwin-type: no Wayland display\n");
        return 1;
    }
    struct wl_registry *registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, NULL);
    wl_display_roundtrip(display);
    if (fakeInput == NULL) {
        fprintf(stderr,
            "kwin-type: the compositor offers no org_kde_kwin_fake_input (version 4) to this program; KWin offers "
            "it to programs whose .desktop file has X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n");
        wl_display_disconnect(display);
        return 2;
    }
    org_kde_kwin_fake_input_authenticate(fakeInput, "kwin-type", "types keys for a test");
    for (size_t k = 0; k < count; ++k)
        press(keys[k]);
    /* Back once KWin has handled every key. */
    const int failed = wl_display_roundtrip(display) < 0;
    org_kde_kwin_fake_input_destroy(fakeInput);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return failed;
}
