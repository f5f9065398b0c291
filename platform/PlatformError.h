#pragma once

#include <QString>

#include <exception>
#include <memory>
#include <stdexcept>

// A PlatformError is how a failing platform operation (database, grid,
// printer, picture loader, dialog) reports itself. It carries a Japanese
// description fit to be shown to the user.
//
// Routines that must swallow failures silently catch it where they stand;
// everywhere else it stops the screen handler that ran the operation, and the
// handler's failure boundary (screens/FailureBoundary.h) shows the description
// and returns to the screen.
//
// Most failures are certain: nothing was done. A write whose connection was
// cut after it was sent may have been done all the same; its error says that
// the outcome is unknown, and so does every PlatformError made while such an
// error is being handled (a routine that adds what it was doing), so that no
// wrapper turns "cannot tell" into "could not".
class PlatformError : public std::runtime_error
{
public:
    enum class Outcome { NotDone, Unknown };

    explicit PlatformError(const QString& description, Outcome outcome = Outcome::NotDone)
        : std::runtime_error(description.toStdString())
        , m_description(description)
    {
        if (outcome == Outcome::Unknown) {
            m_unknownOutcome = std::make_shared<const QString>(description);
        } else if (const std::exception_ptr handled = std::current_exception()) {
            try {
                std::rethrow_exception(handled);
            } catch (const PlatformError& cause) {
                m_unknownOutcome = cause.m_unknownOutcome;
            } catch (...) {
            }
        }
    }

    const QString& description() const { return m_description; }

    // Whether the operation may have taken effect although it failed.
    bool outcomeUnknown() const { return m_unknownOutcome != nullptr; }

    // The description of the failure that left the outcome unknown (it says
    // so first); the description itself when the outcome is known.
    const QString& unknownOutcomeDescription() const { return m_unknownOutcome ? *m_unknownOutcome : m_description; }

private:
    QString m_description;
    std::shared_ptr<const QString> m_unknownOutcome;
};
