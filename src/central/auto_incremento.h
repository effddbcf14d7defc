#pragma once

#include <cstdint>
#include <string_view>

#include "firebird/connection.h"

namespace nuvexa::central {

// The next number of the generator, drawn on the connection in its read-only transaction.
std::int32_t AutoIncremento(firebird::Connection& Conexao, std::string_view Generator);

}  // namespace nuvexa::central
