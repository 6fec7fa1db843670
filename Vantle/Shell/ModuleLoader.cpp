#include "Vantle/Shell/ModuleLoader.h"

#include <utility>

ModuleLoader::ModuleLoader(std::function<Module()> load)
    : m_load(std::move(load)), m_thread([this]() { run(); })
{
}

ModuleLoader::~ModuleLoader()
{
    finish();
}

void ModuleLoader::decide(bool primary)
{
    {
        const std::lock_guard lock(m_mutex);
        if (m_primary)
            return;
        m_primary = primary;
    }
    m_changed.notify_all();
}

void ModuleLoader::applicationCreated()
{
    {
        const std::lock_guard lock(m_mutex);
        m_applicationCreated = true;
    }
    m_changed.notify_all();
}

AppLaunch::Entry ModuleLoader::entry(QString *error)
{
    decide(false);
    bool primary = false;
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this]() { return m_loaded; });
        primary = *m_primary;
    }
    // The running instance's first screen reads what the thread read ahead.
    if (primary && m_thread.joinable())
        m_thread.join();
    const std::lock_guard lock(m_mutex);
    if (!m_module.entry && error)
        *error = m_module.error;
    return m_module.entry;
}

void ModuleLoader::finish()
{
    {
        const std::lock_guard lock(m_mutex);
        m_finishing = true;
        if (!m_primary)
            m_primary = false;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void ModuleLoader::run()
{
    Module module;
    try {
        module = m_load();
    } catch (...) {
        module = Module();
        module.error = QStringLiteral("loading failed");
    }
    {
        const std::lock_guard lock(m_mutex);
        m_module = module;
        m_loaded = true;
    }
    m_changed.notify_all();
    if (!module.entry)
        return;

    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this]() { return m_primary.has_value(); });
        if (!*m_primary || m_finishing)
            return;
    }
    if (module.connect)
        module.connect();
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this]() { return m_applicationCreated || m_finishing; });
        if (m_finishing)
            return;
    }
    if (module.prepare)
        module.prepare();
}
