#pragma once

#include <ibase.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "firebird/sql_value.h"

namespace nuvexa::firebird {

// An XSQLDA with room for a number of columns or markers, and the buffers that its
// entries point to.
class SqlDescriptor {
 public:
  explicit SqlDescriptor(int capacity = 1);
  SqlDescriptor(SqlDescriptor&&) noexcept = default;
  SqlDescriptor& operator=(SqlDescriptor&&) noexcept = default;

  XSQLDA* Get() { return sqlda_; }
  // Entries the server described; more than Capacity() means describe again with a bigger one.
  int Count() const { return sqlda_->sqld; }
  int Capacity() const { return sqlda_->sqln; }
  XSQLVAR& operator[](int index) { return sqlda_->sqlvar[index]; }
  const XSQLVAR& operator[](int index) const { return sqlda_->sqlvar[index]; }

  // Gives every described column a data buffer of its type's size and a NULL indicator.
  void AllocateForOutput();
  // Points marker `index` at a copy of the binding's data, with its type and NULL flag.
  void Bind(int index, const ParamBinding& binding);

 private:
  // 8-byte words, so numbers and timestamps in them are aligned
  using Buffer = std::vector<std::uint64_t>;
  char* NewBuffer(int index, std::size_t bytes);

  std::unique_ptr<std::byte[]> memory_;
  XSQLDA* sqlda_ = nullptr;
  std::vector<Buffer> buffers_;
  std::vector<ISC_SHORT> indicators_;
};

}  // namespace nuvexa::firebird
