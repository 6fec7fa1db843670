#include "Platform/SecretServiceKeychain.h"

#include "Platform/SystemLog.h"

#include <libsecret/secret.h>

#include <algorithm>
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
