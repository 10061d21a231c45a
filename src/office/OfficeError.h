#pragma once
#include <QString>
#include <stdexcept>

// A failure of the document engine, carrying the German text the user sees.
class EOfficeError : public std::runtime_error {
public:
    explicit EOfficeError(const QString& message)
        : std::runtime_error(message.toStdString()), FMessage(message) {}
    const QString& Message() const { return FMessage; }

private:
    QString FMessage;
};
