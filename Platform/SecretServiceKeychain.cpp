#include "Platform/SecretServiceKeychain.h"

#include "Platform/SystemLog.h"

// The item paths API (searching and reading several items in one request) is marked
// unstable; it has not changed since it came.
#define SECRET_API_SUBJECT_TO_CHANGE
#include <libsecret/secret.h>

#include <algorithm>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

// Only status numbers and error texts from GLib are logged; item data never is. The lines
// take the application's road (its log files, ring and diagnostic report), not stderr.
static void logWarning(const QString &message)
{
    SystemLog::write(SystemLogLevel::warn, QStringLiteral("dev.orvalen.vantle"), QStringLiteral("keychain"), message);
}

using Codes = SecretServiceKeychain::Codes;
static_assert(Codes::dbusServiceUnknown == G_DBUS_ERROR_SERVICE_UNKNOWN);
static_assert(Codes::dbusNameHasNoOwner == G_DBUS_ERROR_NAME_HAS_NO_OWNER);
static_assert(Codes::dbusNoReply == G_DBUS_ERROR_NO_REPLY);
static_assert(Codes::dbusNoServer == G_DBUS_ERROR_NO_SERVER);
static_assert(Codes::dbusTimeout == G_DBUS_ERROR_TIMEOUT);
static_assert(Codes::dbusDisconnected == G_DBUS_ERROR_DISCONNECTED);
static_assert(Codes::dbusTimedOut == G_DBUS_ERROR_TIMED_OUT);
static_assert(Codes::dbusSpawnExecFailed == G_DBUS_ERROR_SPAWN_EXEC_FAILED);
static_assert(Codes::dbusSpawnFileInvalid == G_DBUS_ERROR_SPAWN_FILE_INVALID);
static_assert(Codes::dbusSpawnNoMemory == G_DBUS_ERROR_SPAWN_NO_MEMORY);
static_assert(Codes::ioCancelled == G_IO_ERROR_CANCELLED);
static_assert(Codes::ioClosed == G_IO_ERROR_CLOSED);
static_assert(Codes::ioConnectionRefused == G_IO_ERROR_CONNECTION_REFUSED);
static_assert(Codes::ioNotFound == G_IO_ERROR_NOT_FOUND);
static_assert(Codes::secretProtocol == SECRET_ERROR_PROTOCOL);
static_assert(Codes::secretIsLocked == SECRET_ERROR_IS_LOCKED);
static_assert(Codes::secretNoSuchObject == SECRET_ERROR_NO_SUCH_OBJECT);
static_assert(Codes::secretAlreadyExists == SECRET_ERROR_ALREADY_EXISTS);

std::int32_t SecretServiceKeychain::statusFor(const Failure &failure)
{
    using Domain = Failure::Domain;
    switch (failure.domain) {
    case Domain::promptRefused:
        return KeychainStatus::interactionNotAllowed;
    case Domain::secret:
        switch (failure.code) {
        case Codes::secretIsLocked:
            return KeychainStatus::interactionNotAllowed;
        case Codes::secretNoSuchObject:
            // The item went away between finding it and using it.
            return KeychainStatus::itemNotFound;
        case Codes::secretAlreadyExists:
            return KeychainStatus::duplicateItem;
        default:
            return KeychainStatus::internalComponent;
        }
    case Domain::io:
        if (failure.code == Codes::ioCancelled)
            return KeychainStatus::userCanceled;
        // Reaching the bus fails with I/O errors (no socket, refused, cannot autolaunch);
        // a closed connection means the bus went away under us.
        if (failure.connecting || failure.code == Codes::ioClosed
            || failure.code == Codes::ioConnectionRefused)
            return KeychainStatus::notAvailable;
        return KeychainStatus::internalComponent;
    case Domain::dbus:
        switch (failure.code) {
        case Codes::dbusServiceUnknown:
        case Codes::dbusNameHasNoOwner:
        case Codes::dbusNoReply:
        case Codes::dbusNoServer:
        case Codes::dbusTimeout:
        case Codes::dbusDisconnected:
        case Codes::dbusTimedOut:
            return KeychainStatus::notAvailable;
        default:
            // The bus could not start the service it knows of.
            if (failure.code >= Codes::dbusSpawnExecFailed && failure.code <= Codes::dbusSpawnNoMemory)
                return KeychainStatus::notAvailable;
            return failure.connecting ? KeychainStatus::notAvailable : KeychainStatus::internalComponent;
        }
    case Domain::other:
        return KeychainStatus::internalComponent;
    }
    return KeychainStatus::internalComponent;
}

namespace {

// Our own error for a prompt we refused to show.
GQuark promptRefusedQuark()
{
    return g_quark_from_static_string("vantle-keychain-prompt-refused");
}

// A SecretService that fails every prompt instead of showing it. libsecret would
// otherwise ask the keyring daemon to show an unlock or create-keyring dialog and block
// until someone answers it.
GVariant *refusePromptSync(SecretService *, SecretPrompt *, GCancellable *, const GVariantType *,
                           GError **error)
{
    g_set_error_literal(error, promptRefusedQuark(), 1, "The keyring asked for a prompt; prompts are not shown");
    return nullptr;
}

void refusePromptAsync(SecretService *self, SecretPrompt *, const GVariantType *, GCancellable *cancellable,
                       GAsyncReadyCallback callback, gpointer userData)
{
    GTask *task = g_task_new(self, cancellable, callback, userData);
    g_task_return_new_error(task, promptRefusedQuark(), 1, "The keyring asked for a prompt; prompts are not shown");
    g_object_unref(task);
}

GVariant *refusePromptFinish(SecretService *, GAsyncResult *result, GError **error)
{
    return static_cast<GVariant *>(g_task_propagate_pointer(G_TASK(result), error));
}

void noPromptServiceClassInit(gpointer klass, gpointer)
{
    auto *serviceClass = static_cast<SecretServiceClass *>(klass);
    serviceClass->prompt_sync = refusePromptSync;
    serviceClass->prompt_async = refusePromptAsync;
    serviceClass->prompt_finish = refusePromptFinish;
}

GType noPromptServiceType()
{
    static const GType type = [] {
        GTypeQuery parent;
        g_type_query(SECRET_TYPE_SERVICE, &parent);
        return g_type_register_static_simple(SECRET_TYPE_SERVICE, "VantleNoPromptSecretService",
                                             parent.class_size, noPromptServiceClassInit,
                                             parent.instance_size, nullptr, GTypeFlags(0));
    }();
    return type;
}

const SecretSchema *passwordSchema()
{
    static const SecretSchema schema = {
        "dev.orvalen.Vantle.GenericPassword",
        SECRET_SCHEMA_NONE,
        {
            {"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"access_group", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
        },
        0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    };
    return &schema;
}

const SecretSchema *keySchema()
{
    static const SecretSchema schema = {
        "dev.orvalen.Vantle.Key",
        SECRET_SCHEMA_NONE,
        {
            {"application_tag", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
        },
        0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    };
    return &schema;
}

const SecretSchema *schemaOf(const KeychainItemQuery &query)
{
    return query.kind == KeychainItemQuery::Kind::key ? keySchema() : passwordSchema();
}

bool isValid(const KeychainItemQuery &query)
{
    return query.kind == KeychainItemQuery::Kind::key ? !query.applicationTag.isEmpty()
                                                      : !query.service.isEmpty();
}

struct HashTable {
    GHashTable *table = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free);
    ~HashTable() { g_hash_table_unref(table); }
    HashTable() = default;
    HashTable(const HashTable &) = delete;
    HashTable &operator=(const HashTable &) = delete;
    void insert(const char *key, const QString &value)
    {
        g_hash_table_insert(table, g_strdup(key), g_strdup(value.toUtf8().constData()));
    }
};

// The attributes that make up an item's identity.
void fillAttributes(const KeychainItemQuery &query, HashTable &attributes)
{
    if (query.kind == KeychainItemQuery::Kind::key) {
        attributes.insert("application_tag", QString::fromLatin1(query.applicationTag.toBase64()));
        return;
    }
    attributes.insert("service", query.service);
    attributes.insert("account", query.account);
    if (query.accessGroup)
        attributes.insert("access_group", *query.accessGroup);
}

QString labelOf(const KeychainItemQuery &query)
{
    if (query.kind == KeychainItemQuery::Kind::key) {
        const QString text = QString::fromUtf8(query.applicationTag);
        const bool printable = text.toUtf8() == query.applicationTag
            && std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.isPrint(); });
        return QStringLiteral("Vantle: key %1")
            .arg(printable ? text : QString::fromLatin1(query.applicationTag.toBase64()));
    }
    return QStringLiteral("Vantle: %1 %2").arg(query.service, query.account);
}

SecretServiceKeychain::Failure failureOf(const GError *error, bool connecting)
{
    using Domain = SecretServiceKeychain::Failure::Domain;
    SecretServiceKeychain::Failure failure;
    failure.connecting = connecting;
    if (!error)
        return failure;
    failure.code = error->code;
    if (error->domain == G_DBUS_ERROR)
        failure.domain = Domain::dbus;
    else if (error->domain == G_IO_ERROR)
        failure.domain = Domain::io;
    else if (error->domain == SECRET_ERROR)
        failure.domain = Domain::secret;
    else if (error->domain == promptRefusedQuark())
        failure.domain = Domain::promptRefused;
    else
        failure.domain = Domain::other;
    return failure;
}

struct ItemList {
    GList *list = nullptr;
    ~ItemList() { g_list_free_full(list, g_object_unref); }
    ItemList() = default;
    ItemList(const ItemList &) = delete;
    ItemList &operator=(const ItemList &) = delete;
};

} // namespace

struct SecretServiceKeychain::Private {
    SecretService *service = nullptr;
    std::map<Call, Failure> injected;

    // True, with `error` set, when a test asked this call to fail.
    bool injectedFailure(Call call, GError **error)
    {
        const auto it = injected.find(call);
        if (it == injected.end())
            return false;
        const Failure failure = it->second;
        injected.erase(it);
        if (call != Call::getSecret)
            g_set_error_literal(error, quarkOf(failure.domain), failure.code, "injected failure");
        return true;
    }

    static GQuark quarkOf(Failure::Domain domain)
    {
        switch (domain) {
        case Failure::Domain::dbus: return G_DBUS_ERROR;
        case Failure::Domain::io: return G_IO_ERROR;
        case Failure::Domain::secret: return SECRET_ERROR;
        case Failure::Domain::promptRefused: return promptRefusedQuark();
        case Failure::Domain::other: break;
        }
        return g_quark_from_static_string("vantle-keychain-other");
    }

    ~Private() { dropService(); }

    void dropService()
    {
        if (service)
            g_object_unref(service);
        service = nullptr;
    }

    // Turns a GError into a status, logs it and frees it. After a failure that may mean
    // the daemon or its session went away, the next call connects afresh.
    std::int32_t fail(GError *error, bool connecting, const char *what)
    {
        const std::int32_t status = SecretServiceKeychain::statusFor(failureOf(error, connecting));
        logWarning(QStringLiteral("keychain_call_failed status=%1 call=\"%2\" error=%3")
                 .arg(status)
                 .arg(QString::fromUtf8(what),
                      error && error->message ? QString::fromUtf8(error->message) : QStringLiteral("no reason given")));
        if (error)
            g_error_free(error);
        if (status == KeychainStatus::notAvailable || status == KeychainStatus::internalComponent)
            dropService();
        return status;
    }

    std::int32_t connect()
    {
        if (service)
            return KeychainStatus::success;
        GError *error = nullptr;
        if (!injectedFailure(Call::openService, &error))
            service = secret_service_open_sync(noPromptServiceType(), nullptr, SECRET_SERVICE_OPEN_SESSION,
                                               nullptr, &error);
        if (!service)
            return fail(error, true, "Connecting to the Secret Service");
        return KeychainStatus::success;
    }

    // The items whose identity is exactly the query's: a search by attributes also finds
    // items with more attributes, so an item with an access group is dropped when the
    // query has none.
    std::int32_t find(const KeychainItemQuery &query, std::vector<SecretItem *> *found, ItemList &owner)
    {
        if (const std::int32_t status = connect(); status != KeychainStatus::success)
            return status;
        HashTable attributes;
        fillAttributes(query, attributes);
        GError *error = nullptr;
        if (!injectedFailure(Call::search, &error))
            owner.list = secret_service_search_sync(service, schemaOf(query), attributes.table, SECRET_SEARCH_ALL,
                                                    nullptr, &error);
        if (error)
            return fail(error, false, "Searching the keychain");
        for (GList *node = owner.list; node; node = node->next) {
            auto *item = static_cast<SecretItem *>(node->data);
            if (query.kind == KeychainItemQuery::Kind::genericPassword && !query.accessGroup) {
                GHashTable *itemAttributes = secret_item_get_attributes(item);
                const bool hasGroup = itemAttributes && g_hash_table_contains(itemAttributes, "access_group");
                if (itemAttributes)
                    g_hash_table_unref(itemAttributes);
                if (hasGroup)
                    continue;
            }
            found->push_back(item);
        }
        return KeychainStatus::success;
    }

    static bool anyLocked(const std::vector<SecretItem *> &items)
    {
        return std::any_of(items.cbegin(), items.cend(), [](SecretItem *item) { return secret_item_get_locked(item); });
    }
};

SecretServiceKeychain::SecretServiceKeychain()
    : d(new Private)
{
}

SecretServiceKeychain::~SecretServiceKeychain()
{
    delete d;
}

void SecretServiceKeychain::failNext(Call call, Failure::Domain domain, int code)
{
    const std::lock_guard lock(m_mutex);
    d->injected[call] = Failure{domain, code, call == Call::openService};
}

std::int32_t SecretServiceKeychain::open()
{
    const std::lock_guard lock(m_mutex);
    return d->connect();
}

std::int32_t SecretServiceKeychain::update(const KeychainItemQuery &query, const QByteArray &data)
{
    if (!isValid(query))
        return KeychainStatus::param;
    const std::lock_guard lock(m_mutex);
    ItemList owner;
    std::vector<SecretItem *> items;
    if (const std::int32_t status = d->find(query, &items, owner); status != KeychainStatus::success)
        return status;
    if (items.empty())
        return KeychainStatus::itemNotFound;
    if (Private::anyLocked(items))
        return KeychainStatus::interactionNotAllowed;
    SecretValue *value = secret_value_new(data.constData(), data.size(), "application/octet-stream");
    std::int32_t result = KeychainStatus::success;
    for (SecretItem *item : items) {
        GError *error = nullptr;
        if (d->injectedFailure(Call::setSecret, &error) || !secret_item_set_secret_sync(item, value, nullptr, &error)) {
            result = d->fail(error, false, "Updating a keychain item");
            break;
        }
    }
    secret_value_unref(value);
    return result;
}

std::int32_t SecretServiceKeychain::add(const KeychainItemQuery &query, const QByteArray &data)
{
    if (!isValid(query))
        return KeychainStatus::param;
    const std::lock_guard lock(m_mutex);
    // The Secret Service would store a second item with the same attributes (or replace
    // the first one): the keychain's add refuses instead.
    {
        ItemList owner;
        std::vector<SecretItem *> items;
        if (const std::int32_t status = d->find(query, &items, owner); status != KeychainStatus::success)
            return status;
        if (!items.empty())
            return KeychainStatus::duplicateItem;
    }

    GError *error = nullptr;
    SecretCollection *collection = d->injectedFailure(Call::defaultCollection, &error)
        ? nullptr
        : secret_collection_for_alias_sync(d->service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, &error);
    if (error)
        return d->fail(error, false, "Opening the default keyring");
    if (!collection) {
        // Making a default keyring means asking the user for its password.
        logWarning(QStringLiteral("keychain_no_default_keyring"));
        return KeychainStatus::interactionNotAllowed;
    }
    if (secret_collection_get_locked(collection)) {
        g_object_unref(collection);
        return KeychainStatus::interactionNotAllowed;
    }

    HashTable attributes;
    fillAttributes(query, attributes);
    SecretValue *value = secret_value_new(data.constData(), data.size(), "application/octet-stream");
    SecretItem *item = d->injectedFailure(Call::createItem, &error)
        ? nullptr
        : secret_item_create_sync(collection, schemaOf(query), attributes.table, labelOf(query).toUtf8().constData(),
                                  value, SECRET_ITEM_CREATE_NONE, nullptr, &error);
    secret_value_unref(value);
    g_object_unref(collection);
    if (!item)
        return d->fail(error, false, "Adding a keychain item");
    g_object_unref(item);
    return KeychainStatus::success;
}

std::int32_t SecretServiceKeychain::copyMatching(const KeychainItemQuery &query, QByteArray *data)
{
    if (!isValid(query))
        return KeychainStatus::param;
    const std::lock_guard lock(m_mutex);
    ItemList owner;
    std::vector<SecretItem *> items;
    if (const std::int32_t status = d->find(query, &items, owner); status != KeychainStatus::success)
        return status;
    if (items.empty())
        return KeychainStatus::itemNotFound;
    const auto unlocked = std::find_if(items.cbegin(), items.cend(),
                                       [](SecretItem *item) { return !secret_item_get_locked(item); });
    if (unlocked == items.cend())
        return KeychainStatus::interactionNotAllowed;
    if (!data)
        return KeychainStatus::success;

    GError *error = nullptr;
    if (d->injectedFailure(Call::loadSecret, &error) || !secret_item_load_secret_sync(*unlocked, nullptr, &error))
        return d->fail(error, false, "Reading a keychain item");
    SecretValue *value = d->injectedFailure(Call::getSecret, &error) ? nullptr : secret_item_get_secret(*unlocked);
    if (!value) {
        logWarning(QStringLiteral("keychain_item_without_data"));
        return KeychainStatus::internalComponent;
    }
    gsize length = 0;
    const gchar *bytes = secret_value_get(value, &length);
    *data = QByteArray(bytes, static_cast<qsizetype>(length));
    secret_value_unref(value);
    return KeychainStatus::success;
}

std::int32_t SecretServiceKeychain::remove(const KeychainItemQuery &query)
{
    if (!isValid(query))
        return KeychainStatus::param;
    const std::lock_guard lock(m_mutex);
    ItemList owner;
    std::vector<SecretItem *> items;
    if (const std::int32_t status = d->find(query, &items, owner); status != KeychainStatus::success)
        return status;
    if (items.empty())
        return KeychainStatus::itemNotFound;
    if (Private::anyLocked(items))
        return KeychainStatus::interactionNotAllowed;
    for (SecretItem *item : items) {
        GError *error = nullptr;
        if (d->injectedFailure(Call::deleteItem, &error) || !secret_item_delete_sync(item, nullptr, &error))
            return d->fail(error, false, "Deleting a keychain item");
    }
    return KeychainStatus::success;
}

// ---- several items in one exchange -------------------------------------------------------

namespace {

// Runs the replies to the requests started meanwhile on this thread, without the GUI
// thread's main loop: the calls libsecret makes here answer on this context.
class Exchange {
public:
    Exchange() { g_main_context_push_thread_default(m_context); }
    ~Exchange()
    {
        wait();
        g_main_context_pop_thread_default(m_context);
        g_main_context_unref(m_context);
    }
    Exchange(const Exchange &) = delete;
    Exchange &operator=(const Exchange &) = delete;

    void started() { ++m_pending; }
    void answered() { --m_pending; }
    // Until every request started has its answer.
    void wait()
    {
        while (m_pending > 0)
            g_main_context_iteration(m_context, TRUE);
    }

private:
    GMainContext *m_context = g_main_context_new();
    int m_pending = 0;
};

struct Search {
    Exchange *exchange = nullptr;
    gchar **unlocked = nullptr;
    gchar **locked = nullptr;
    bool failed = false;
    ~Search()
    {
        g_strfreev(unlocked);
        g_strfreev(locked);
    }

    static void done(GObject *source, GAsyncResult *result, gpointer data)
    {
        auto *self = static_cast<Search *>(data);
        GError *error = nullptr;
        if (!secret_service_search_for_dbus_paths_finish(SECRET_SERVICE(source), result, &self->unlocked,
                                                         &self->locked, &error)) {
            self->failed = true;
            g_clear_error(&error);
        }
        self->exchange->answered();
    }
};

// Whether an item carries an access group, from its attributes.
struct Attributes {
    Exchange *exchange = nullptr;
    bool failed = false;
    bool hasGroup = false;

    static void done(GObject *source, GAsyncResult *result, gpointer data)
    {
        auto *self = static_cast<Attributes *>(data);
        GError *error = nullptr;
        GVariant *reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
        if (!reply) {
            self->failed = true;
            g_clear_error(&error);
        } else {
            GVariant *value = nullptr;
            g_variant_get(reply, "(v)", &value);
            if (value && g_variant_is_of_type(value, G_VARIANT_TYPE("a{ss}"))) {
                GVariant *group = g_variant_lookup_value(value, "access_group", G_VARIANT_TYPE_STRING);
                self->hasGroup = group != nullptr;
                if (group)
                    g_variant_unref(group);
            } else {
                self->failed = true;
            }
            if (value)
                g_variant_unref(value);
            g_variant_unref(reply);
        }
        self->exchange->answered();
    }
};

struct Secrets {
    Exchange *exchange = nullptr;
    GHashTable *values = nullptr; // item path -> SecretValue
    ~Secrets()
    {
        if (values)
            g_hash_table_unref(values);
    }

    static void done(GObject *source, GAsyncResult *result, gpointer data)
    {
        auto *self = static_cast<Secrets *>(data);
        GError *error = nullptr;
        self->values = secret_service_get_secrets_for_dbus_paths_finish(SECRET_SERVICE(source), result, &error);
        g_clear_error(&error);
        self->exchange->answered();
    }
};

std::vector<std::string> pathsOf(gchar **paths)
{
    std::vector<std::string> out;
    for (gchar **path = paths; path && *path; ++path)
        out.emplace_back(*path);
    return out;
}

// What one exchange tells of each query, in the way copyMatching() would tell it; nothing
// for a query it leaves open.
std::vector<std::optional<KeychainBackend::Read>> readTogether(SecretService *service,
                                                               const QList<KeychainItemQuery> &queries)
{
    std::vector<std::optional<KeychainBackend::Read>> answers(queries.size());
    Exchange exchange;

    // Every search at once.
    std::deque<Search> searches(queries.size());
    std::deque<HashTable> attributes(queries.size());
    for (qsizetype i = 0; i < queries.size(); ++i) {
        if (!isValid(queries.at(i))) {
            searches[i].failed = true;
            continue;
        }
        fillAttributes(queries.at(i), attributes[i]);
        searches[i].exchange = &exchange;
        exchange.started();
        secret_service_search_for_dbus_paths(service, schemaOf(queries.at(i)), attributes[i].table, nullptr,
                                             &Search::done, &searches[i]);
    }
    exchange.wait();

    // Then the secrets of what was found unlocked, and whether each item found for a query
    // without an access group has one (such an item is not the one asked for), at once.
    const auto needsAttributes = [&](qsizetype i) {
        return queries.at(i).kind == KeychainItemQuery::Kind::genericPassword && !queries.at(i).accessGroup;
    };
    std::vector<std::string> unlockedPaths;
    std::map<std::string, Attributes> itemAttributes;
    for (qsizetype i = 0; i < queries.size(); ++i) {
        if (searches[i].failed)
            continue;
        for (const std::string &path : pathsOf(searches[i].unlocked)) {
            if (std::find(unlockedPaths.cbegin(), unlockedPaths.cend(), path) == unlockedPaths.cend())
                unlockedPaths.push_back(path);
        }
        if (needsAttributes(i)) {
            for (gchar **paths : {searches[i].unlocked, searches[i].locked}) {
                for (const std::string &path : pathsOf(paths))
                    itemAttributes.try_emplace(path);
            }
        }
    }
    GDBusProxy *proxy = G_DBUS_PROXY(service);
    for (auto &[path, attribute] : itemAttributes) {
        attribute.exchange = &exchange;
        exchange.started();
        g_dbus_connection_call(g_dbus_proxy_get_connection(proxy), g_dbus_proxy_get_name(proxy), path.c_str(),
                               "org.freedesktop.DBus.Properties", "Get",
                               g_variant_new("(ss)", "org.freedesktop.Secret.Item", "Attributes"),
                               G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &Attributes::done,
                               &attribute);
    }
    Secrets secrets;
    if (!unlockedPaths.empty()) {
        std::vector<const gchar *> paths;
        for (const std::string &path : unlockedPaths)
            paths.push_back(path.c_str());
        paths.push_back(nullptr);
        secrets.exchange = &exchange;
        exchange.started();
        secret_service_get_secrets_for_dbus_paths(service, paths.data(), nullptr, &Secrets::done, &secrets);
    }
    exchange.wait();

    for (qsizetype i = 0; i < queries.size(); ++i) {
        if (searches[i].failed)
            continue;
        bool unsure = false;
        const auto isTheItem = [&](const std::string &path) {
            if (!needsAttributes(i))
                return true;
            const Attributes &attribute = itemAttributes.at(path);
            unsure = unsure || attribute.failed;
            return !attribute.failed && !attribute.hasGroup;
        };
        std::vector<std::string> unlocked, locked;
        for (const std::string &path : pathsOf(searches[i].unlocked)) {
            if (isTheItem(path))
                unlocked.push_back(path);
        }
        for (const std::string &path : pathsOf(searches[i].locked)) {
            if (isTheItem(path))
                locked.push_back(path);
        }
        if (unsure)
            continue;
        KeychainBackend::Read read;
        if (unlocked.empty()) {
            read.status = locked.empty() ? KeychainStatus::itemNotFound : KeychainStatus::interactionNotAllowed;
            answers[i] = read;
            continue;
        }
        // Locked meanwhile, or the secrets could not be read: left to the read of one item.
        auto *value = secrets.values ? static_cast<SecretValue *>(g_hash_table_lookup(secrets.values, unlocked.front().c_str()))
                                     : nullptr;
        if (!value)
            continue;
        gsize length = 0;
        const gchar *bytes = secret_value_get(value, &length);
        read.status = KeychainStatus::success;
        read.data = QByteArray(bytes, static_cast<qsizetype>(length));
        answers[i] = read;
    }
    return answers;
}

} // namespace

QList<KeychainBackend::Read> SecretServiceKeychain::copyEach(const QList<KeychainItemQuery> &queries)
{
    std::vector<std::optional<Read>> answers(queries.size());
    {
        const std::lock_guard lock(m_mutex);
        // A failure a test asked for belongs to the one-by-one reads below.
        if (d->injected.empty()) {
            if (const std::int32_t status = d->connect(); status == KeychainStatus::success) {
                answers = readTogether(d->service, queries);
            } else {
                // Each read would have failed to connect in the same way.
                for (qsizetype i = 0; i < queries.size(); ++i)
                    answers[i] = Read{isValid(queries.at(i)) ? status : KeychainStatus::param, {}};
            }
        }
    }
    QList<Read> reads;
    reads.reserve(queries.size());
    for (qsizetype i = 0; i < queries.size(); ++i) {
        if (answers[i]) {
            reads.append(*answers[i]);
            continue;
        }
        Read read;
        read.status = copyMatching(queries.at(i), &read.data);
        reads.append(std::move(read));
    }
    return reads;
}
