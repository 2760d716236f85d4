#include "CoreDataController.h"

#include "app/core/MainThread.h"
#include "store/StoreLocations.h"
#include "store/StoreSchema.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>


namespace zirv {

namespace {
constexpr int backgroundThreads = 2;
}

// ---------------------------------------------------------------------------
// StoreContext

StoreContext::StoreContext(CoreDataController& controller, bool isMain)
    : m_controller(controller), m_isMain(isMain), m_owner(std::this_thread::get_id())
{
}

StoreContext::~StoreContext() = default;

sql::Database* StoreContext::database()
{
    if (m_isMain) {
        // The main context belongs to the thread of the event loop (or, in a
        // program without one, to the thread that built the controller).
        if (QCoreApplication::instance() ? !isMainThread() : std::this_thread::get_id() != m_owner)
            return nullptr;
    } else if (std::this_thread::get_id() != m_owner) {
        return nullptr;
    }
    if (m_db)
        return m_db.get();
    if (m_openFailed || !m_controller.isStoreLoaded())
        return nullptr;
    QString error;
    m_db = sql::Database::open(m_controller.storePath(), m_controller.connectionOptions(), &error);
    if (!m_db)
        m_openFailed = true; // the file went away or was damaged after opening
    return m_db.get();
}

void StoreContext::perform(std::function<void(StoreContext&)> work)
{
    if (m_isMain) {
        runOnMain([this, work = std::move(work)] { work(*this); });
    } else {
        work(*this);
    }
}

// ---------------------------------------------------------------------------
// SaveGroup

SaveGroup::SaveGroup(StoreContext& context)
{
    if (sql::Database* db = context.database())
        m_tx.emplace(*db);
}

SaveGroup::~SaveGroup() = default;

bool SaveGroup::commit()
{
    return m_tx && m_tx->commit();
}

// ---------------------------------------------------------------------------
// CoreDataController

std::unique_ptr<CoreDataController> CoreDataController::create(const QString& name)
{
    if (name.isEmpty() || !EntityModel::validate())
        return nullptr;
    return std::unique_ptr<CoreDataController>(new CoreDataController(name));
}

CoreDataController::CoreDataController(QString name) : m_name(std::move(name))
{
    m_viewContext = std::make_unique<StoreContext>(*this, true);
}

CoreDataController::~CoreDataController()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (std::thread& worker : m_workers)
        worker.join();
}

std::optional<QUrl> CoreDataController::defaultStoreURL() const
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (folder.isEmpty())
        return std::nullopt;
    return QUrl::fromLocalFile(folder + QLatin1Char('/') + m_name);
}

QString CoreDataController::storePath() const
{
    return m_storePath;
}

sql::Database::Options CoreDataController::connectionOptions()
{
    sql::Database::Options options;
    options.readOnly = isReadOnly;
    options.faults = &m_faults;
    return options;
}

bool CoreDataController::openAndPrepare(const QString& path, QString* error)
{
    if (!isReadOnly && !makePrivateFolder(QFileInfo(path).absolutePath(), error))
        return false;
    sql::Database::Options options = connectionOptions();
    options.create = !isReadOnly;
    std::unique_ptr<sql::Database> db = sql::Database::open(path, options, error);
    if (!db)
        return false;
    SchemaOptions schema;
    schema.readOnly = isReadOnly;
    schema.migrateAutomatically = shouldMigrateStoreAutomatically;
    schema.inferMapping = shouldInferMappingModelAutomatically;
    return StoreSchema::prepare(*db, schema, error);
}

void CoreDataController::loadStore(std::optional<QUrl> url, Completion completion)
{
    if (!url)
        url = defaultStoreURL();
    auto report = [completion = std::move(completion)](std::optional<QString> error) {
        if (!completion)
            return;
        runOnMainAfter(std::chrono::milliseconds(100), [completion, error] { completion(error); });
    };
    if (!url || !url->isLocalFile()) {
        report(QStringLiteral("No store location"));
        return;
    }
    if (m_loadStarted.exchange(true)) {
        report(QStringLiteral("The store is already open"));
        return;
    }
    m_storePath = url->toLocalFile();
    auto open = [this, report](StoreContext&) {
        QString error;
        if (openAndPrepare(m_storePath, &error)) {
            m_loaded.store(true, std::memory_order_release);
            report(std::nullopt);
        } else {
            report(error.isEmpty() ? QStringLiteral("The store could not be opened") : error);
        }
    };
    if (shouldAddStoreAsynchronously) {
        performBackgroundTask(std::move(open));
    } else {
        open(*m_viewContext);
    }
}

void CoreDataController::performBackgroundTask(std::function<void(StoreContext&)> task)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping)
            return;
        m_queue.push_back(std::move(task));
        if (m_workers.size() < static_cast<size_t>(backgroundThreads)
            && m_queue.size() + static_cast<size_t>(m_running) > m_workers.size())
            m_workers.emplace_back([this] { workerLoop(); });
    }
    m_wake.notify_one();
}

void CoreDataController::waitForBackgroundTasks()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_queue.empty() && m_running == 0; });
}

void CoreDataController::workerLoop()
{
    // This worker's background context: its own connection, reused by the
    // tasks it runs one after another.
    StoreContext context(*this, false);
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_queue.empty()) {
            if (m_stopping)
                return;
            continue;
        }
        std::function<void(StoreContext&)> task = std::move(m_queue.front());
        m_queue.pop_front();
        ++m_running;
        lock.unlock();
        task(context);
        task = nullptr;
        lock.lock();
        --m_running;
        if (m_queue.empty() && m_running == 0)
            m_idle.notify_all();
    }
}

// ---------------------------------------------------------------------------
// CoreDataShared and start-up

CoreDataShared::CoreDataShared()
{
    m_myData.store(std::shared_ptr<CoreDataController>(CoreDataController::create(QStringLiteral("User"))));
}

CoreDataShared& CoreDataShared::shared()
{
    static CoreDataShared holder; // initialised once, thread-safe
    return holder;
}

void openStore()
{
    CoreDataShared& holder = CoreDataShared::shared();
    holder.setMyData(std::shared_ptr<CoreDataController>(CoreDataController::create(QStringLiteral("User"))));
    std::shared_ptr<CoreDataController> controller = holder.myData();
    if (!controller)
        qFatal("Unable to build Defined Core Data stack");
    controller->loadStore(controller->defaultStoreURL(),
                          [](const std::optional<QString>&) { prepareStoreLocations(); });
}

} // namespace zirv
