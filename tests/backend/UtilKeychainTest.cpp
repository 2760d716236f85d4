// Keychain items on a real keyring daemon (the test run starts one in a
// private session bus), including a locked keyring.

#include "KeychainCases.h"

#pragma push_macro("signals")
#undef signals
// For secret_collection_new_for_dbus_path_sync (a test helper only).
#define SECRET_API_SUBJECT_TO_CHANGE 1
#define SECRET_WITH_UNSTABLE 1
#include <libsecret/secret.h>
#pragma pop_macro("signals")

namespace zirv::test {
namespace {

std::string secretServiceUnavailable()
{
    GError* error = nullptr;
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &error);
    if (service) {
        g_object_unref(service);
        return {};
    }
    std::string why = std::string("no Secret Service: ") + (error ? error->message : "unknown");
    g_clear_error(&error);
    return why;
}

INSTANTIATE_TEST_SUITE_P(SecretService, KeychainCases,
                         ::testing::Values(KeychainBackendCase {"secretService", UtilKeychain::Backend::secretService,
                                                                secretServiceUnavailable}),
                         [](const auto& info) { return std::string(info.param.name); });

// A keyring of this test's own, created with a password through the daemon's
// internal interface (no prompt), so that locking it disturbs nobody else.
SecretCollection* createPrivateCollection(SecretService* service, GError** error)
{
    GDBusConnection* bus = g_dbus_proxy_get_connection(G_DBUS_PROXY(service));
    GVariant* opened = g_dbus_connection_call_sync(
        bus, "org.freedesktop.secrets", "/org/freedesktop/secrets", "org.freedesktop.Secret.Service", "OpenSession",
        g_variant_new("(sv)", "plain", g_variant_new_string("")), G_VARIANT_TYPE("(vo)"), G_DBUS_CALL_FLAGS_NONE, -1,
        nullptr, error);
    if (!opened)
        return nullptr;
    const gchar* session = nullptr;
    GVariant* output = nullptr;
    g_variant_get(opened, "(v&o)", &output, &session);
    GVariantBuilder properties;
    g_variant_builder_init(&properties, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&properties, "{sv}", "org.freedesktop.Secret.Collection.Label",
                          g_variant_new_string("zirv2 lock test"));
    static const char password[] = "lock-test";
    GVariant* master = g_variant_new("(o@ay@ays)", session,
                                     g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, "", 0, 1),
                                     g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, password, sizeof password - 1, 1),
                                     "text/plain");
    GVariant* created = g_dbus_connection_call_sync(
        bus, "org.freedesktop.secrets", "/org/freedesktop/secrets",
        "org.gnome.keyring.InternalUnsupportedGuiltRiddenInterface", "CreateWithMasterPassword",
        g_variant_new("(a{sv}@(oayays))", &properties, master), G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE, -1,
        nullptr, error);
    g_variant_unref(output);
    g_variant_unref(opened);
    if (!created)
        return nullptr;
    const gchar* path = nullptr;
    g_variant_get(created, "(&o)", &path);
    SecretCollection* collection =
        secret_collection_new_for_dbus_path_sync(service, path, SECRET_COLLECTION_NONE, nullptr, error);
    g_variant_unref(created);
    return collection;
}

TEST(LockedKeyringTest, IsNotMistakenForNoPasswordStored)
{
    if (const std::string why = secretServiceUnavailable(); !why.empty()) {
        if (qEnvironmentVariableIsSet("ZIRV_REQUIRE_KEYRING"))
            FAIL() << why;
        GTEST_SKIP() << why;
    }
    GError* error = nullptr;
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &error);
    ASSERT_TRUE(service);
    SecretCollection* collection = createPrivateCollection(service, &error);
    ASSERT_TRUE(collection) << (error ? error->message : "");

    const QString email = QStringLiteral("locked.") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    const QByteArray account = email.toUtf8();
    GHashTable* attributes = g_hash_table_new(g_str_hash, g_str_equal);
    g_hash_table_insert(attributes, const_cast<char*>("service"), const_cast<char*>("zirv2"));
    g_hash_table_insert(attributes, const_cast<char*>("account"), const_cast<char*>(account.constData()));
    static const SecretSchema schema = {"org.zirv2.Password", SECRET_SCHEMA_DONT_MATCH_NAME,
                                        {{"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                        0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    SecretValue* value = secret_value_new("hidden", -1, "text/plain");
    SecretItem* item = secret_item_create_sync(collection, &schema, attributes, "locked", value,
                                               SECRET_ITEM_CREATE_NONE, nullptr, &error);
    secret_value_unref(value);
    g_hash_table_unref(attributes);
    ASSERT_TRUE(item) << (error ? error->message : "");

    UtilKeychain keychain(UtilKeychain::Backend::secretService);
    EXPECT_EQ(keychain.readItem(keychainService, email), QStringLiteral("hidden"));

    GList* objects = g_list_append(nullptr, collection);
    ASSERT_GE(secret_service_lock_sync(service, objects, nullptr, nullptr, &error), 1)
        << (error ? error->message : "");
    g_list_free(objects);

    ::testing::internal::CaptureStdout();
    const KeychainRead read = keychain.read(keychainService, email);
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(read.status, KeychainStatus::locked);
    EXPECT_FALSE(read.value);
    EXPECT_NE(out.find("Nothing was retrieved from the keychain. Status code -25308"), std::string::npos) << out;
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(keychain.update(keychainService, email, QStringLiteral("new")), KeychainStatus::locked);
    EXPECT_EQ(keychain.add(keychainService, email, QStringLiteral("new")), KeychainStatus::duplicateItem);
    ::testing::internal::GetCapturedStdout();

    secret_collection_delete_sync(collection, nullptr, nullptr);
    g_object_unref(item);
    g_object_unref(collection);
    g_object_unref(service);
}

} // namespace
} // namespace zirv::test
