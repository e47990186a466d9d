#pragma once

#include <utility>

#include <boost/asio/ssl/verify_context.hpp>

#include "foundation/logging/LogSource.h"

namespace network {

// Logs every certificate of a chain with its verdict around a verification check.
class verbose_verification_base : private logging::LogSource {
public:
    verbose_verification_base();
    bool operator()(bool preverified, boost::asio::ssl::verify_context& context) const;

protected:
    virtual bool verify(bool preverified, boost::asio::ssl::verify_context& context) const = 0;
};

template <typename Verification>
class verbose_verification : public verbose_verification_base {
public:
    explicit verbose_verification(Verification verification)
        : m_Verification(std::move(verification)) {}

protected:
    bool verify(bool preverified, boost::asio::ssl::verify_context& context) const override {
        return m_Verification(preverified, context);
    }

private:
    Verification m_Verification;
};

template <typename Verification>
verbose_verification<Verification> make_verbose_verification(Verification verification) {
    return verbose_verification<Verification>(std::move(verification));
}

}  // namespace network
