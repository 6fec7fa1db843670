#pragma once

#include "Vantle/Shell/AppLaunch.h"

#include <QString>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

// Loads the application module on a thread of its own from the start of the process and,
// for the running instance alone, reaches the keyring and reads ahead there what the first
// screen needs; the GUI thread meanwhile builds the application object and the window. A
// start that hands over to the running instance waits for the module alone and never
// reaches the keyring.
//
// The thread never touches the application object until the executable says it exists,
// and it has ended before the executable destroys it (finish()). All members are called
// from the GUI thread.
class ModuleLoader final {
public:
    // What loading found: the module's entry points, or no entry and the reason.
    struct Module {
        AppLaunch::Entry entry = nullptr;
        AppLaunch::Prepare connect = nullptr;
        AppLaunch::Prepare prepare = nullptr;
        QString error;
    };

    // Starts the thread, which runs `load` at once: it must not read anything the
    // application object's construction writes (its folders, its arguments).
    explicit ModuleLoader(std::function<Module()> load);
    ~ModuleLoader();
    ModuleLoader(const ModuleLoader &) = delete;
    ModuleLoader &operator=(const ModuleLoader &) = delete;

    // Whether this start is the running instance; the first answer counts. Only the
    // running instance reaches the keyring (connect) and reads ahead (prepare).
    void decide(bool primary);
    // The application object exists: the reading ahead, which needs it, may begin.
    void applicationCreated();

    // The module's entry, or null with the reason in `error`. The running instance waits
    // for the reading ahead too (call it once the application object exists); another
    // start only for the module.
    AppLaunch::Entry entry(QString *error);

    // Ends the thread before the application object goes: what has not begun does not
    // begin (an undecided start is not the running instance), and what runs is waited for.
    void finish();

private:
    void run();

    std::function<Module()> m_load;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::optional<bool> m_primary;
    bool m_applicationCreated = false;
    bool m_finishing = false;
    bool m_loaded = false;
    Module m_module;
    std::thread m_thread; // last: starts once the members above exist
};
