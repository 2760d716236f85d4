#include "BackendExchange.h"

#include "app/core/Console.h"
#include "app/core/Endpoints.h"
#include "backend/i18n/LocalisedMessage.h"
#include "backend/i18n/MessageKeys.h"
#include "backend/reachability/UtilNetwork.h"

#include <QThreadPool>

#include <memory>

namespace zirv {

SerialQueue& sessionProcessingQueue(ExchangeFamily family)
{
    // Made on first use and kept for the rest of the process.
    switch (family) {
    case ExchangeFamily::account: {
        static auto* queue = new SerialQueue("SessionProcessingQueueAccount");
        return *queue;
    }
    case ExchangeFamily::defined: {
        static auto* queue = new SerialQueue("SessionProcessingQueueDefined");
        return *queue;
    }
    case ExchangeFamily::user:
        break;
    }
    static auto* queue = new SerialQueue("SessionProcessingQueueUser");
    return *queue;
}

net::HttpRequest BackendExchange::makeRequest(std::string_view path, std::string body,
                                              std::chrono::seconds timeout)
{
    net::HttpRequest request;
    request.method = "POST";
    request.url = backendBaseUrl().toStdString() + std::string(path);
    request.headers = {{"Content-Type", "application/json"}};
    request.body = std::move(body);
    request.inactivityTimeout = timeout;
    return request;
}

net::Cancelable BackendExchange::startExchange(net::HttpRequest request, ExchangeFamily family,
                                               Decoder decoder, std::function<void(QString)> onFailure)
{
    auto state = std::make_shared<net::CancelState>();
    // The transfer's own handle, released with the exchange's.
    auto transfer = std::make_shared<net::Cancelable>();
    state->setAbortAction([transfer] { transfer->reset(); });

    SerialQueue* queue = &sessionProcessingQueue(family);
    net::HttpCallbacks callbacks;
    callbacks.delivery = net::Delivery::networkThread;
    callbacks.onFinished = [state, queue, decoder = std::move(decoder),
                            onFailure = std::move(onFailure)](net::HttpResult result) {
        if (!result.response) {
            runOnMainWhileAlive([state, onFailure, description = QString::fromStdString(*result.failure)] {
                state->deliver([&] {
                    if (onFailure)
                        onFailure(description);
                });
            });
            return;
        }
        queue->post([state, decoder, body = std::move(result.response->body)] {
            if (state->cancelled())
                return;
            auto deliver = decoder(body);
            runOnMainWhileAlive([state, deliver = std::move(deliver)] { state->deliver(deliver); });
        });
    };
    *transfer = net::HttpClient::shared().start(std::move(request), std::move(callbacks));
    return net::Cancelable(state);
}

net::Cancelable BackendExchange::startAfterHostCheck(net::HttpRequest request,
                                                     std::function<net::Cancelable(net::HttpRequest)> start,
                                                     std::function<void()> onUnreachable,
                                                     std::function<void()> onStarted)
{
    auto state = std::make_shared<net::CancelState>();
    auto exchange = std::make_shared<net::Cancelable>();
    state->setAbortAction([exchange] { exchange->reset(); });
    // The lookup blocks, so it stays off the main thread.
    QThreadPool::globalInstance()->start([state, exchange, request = std::move(request), start = std::move(start),
                                          onUnreachable = std::move(onUnreachable),
                                          onStarted = std::move(onStarted)]() mutable {
        if (state->cancelled())
            return;
        const bool reachable = UtilNetwork::shared().isHostReachable(QString::fromStdString(request.url),
                                                                     NetworkAccessibleArea::dataServer);
        runOnMainWhileAlive([=]() mutable {
            state->deliver([&] {
                if (!reachable) {
                    if (onUnreachable)
                        onUnreachable();
                    return;
                }
                if (onStarted)
                    onStarted();
                *exchange = start(std::move(request));
            });
        });
    });
    return net::Cancelable(state);
}

net::Cancelable BackendExchange::send(net::HttpRequest request, SendCompletion completion)
{
    net::HttpCallbacks callbacks;
    callbacks.onFinished = [completion = std::move(completion)](net::HttpResult result) {
        std::optional<std::string> body;
        std::optional<QString> failure;
        if (result.response)
            body = std::move(result.response->body);
        if (result.failure)
            failure = QString::fromStdString(*result.failure);
        if (completion)
            completion(std::move(body), std::move(failure));
    };
    return net::HttpClient::shared().start(std::move(request), std::move(callbacks));
}

std::optional<QString> BackendExchange::classifyTransport(const std::optional<std::string>& body,
                                                          const std::optional<QString>& failure)
{
    if (!body) {
        consoleLine(QStringLiteral("No data was returned"));
        return localisedMessage(messageKey::errorNoData, QStringLiteral("No data was returned from the server"));
    }
    if (failure) {
        consoleLine(QStringLiteral("Error received from the server: ") + *failure);
        return localisedMessage(messageKey::errorServerError, QStringLiteral("There was an error at the server"),
                                {*failure});
    }
    return std::nullopt;
}

QString BackendExchange::undecodableMessage(const QString& decodeFailureLine, const QString& entityCode)
{
    consoleLine(decodeFailureLine);
    return localisedMessage(messageKey::errorServerError,
                            QStringLiteral("Unable to correctly decode the data from the server for entity type"),
                            {entityCode});
}

std::optional<QString> BackendExchange::classifyHashStatus(const commonStatus& status)
{
    if (status.statusCode == statusCode::authenticationFailed) {
        consoleLine(QStringLiteral("Authentication error"));
        return localisedMessage(messageKey::accountConnectionIssueText,
                                QStringLiteral("Error message of being unable to log in correctly"));
    }
    if (status.statusCode != statusCode::alreadyHeld && status.statusCode != statusCode::notHeld) {
        consoleLine(QStringLiteral("hashCodeExistsAtServer failed with error code ")
                    + QString::number(status.statusCode));
        consoleLine(QStringLiteral("Database code = ") + QString::number(status.databaseErrors.errorCode)
                    + QStringLiteral(" and message = ") + status.databaseErrors.errorMessage);
        return localisedMessage(messageKey::errorServerErrorWithCode,
                                QStringLiteral("There was a general problem at the server"),
                                {QString::number(status.databaseErrors.errorCode),
                                 status.databaseErrors.errorMessage});
    }
    return std::nullopt;
}

} // namespace zirv
