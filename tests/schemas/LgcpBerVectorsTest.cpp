// Controller messages in BER, kept in data/lgcp-ber-vectors.txt with their value notation: each encodes to our
// bytes, and both our bytes and the X.690 form that asn1c writes decode to it. The tool test feeds the same
// bytes to a coder that asn1c generates from the modules.

#include "tests/support/BerVectors.h"

#include "schemas/GeneratedTypes.h"

#include "asn1/CoderEnv.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

std::unique_ptr<ASN1::AbstractData> Create(const std::string& type) {
  for (size_t i = 0; i < Schemas::kGeneratedTypeCount; ++i) {
    const Schemas::GeneratedType& generated = Schemas::kGeneratedTypes[i];
    if (type == generated.name) {
      return std::unique_ptr<ASN1::AbstractData>(generated.info->create(generated.info));
    }
  }
  return nullptr;
}

std::vector<uint8_t> Encode(const ASN1::AbstractData& value) {
  ASN1::CoderEnv env(ASN1::CoderEnv::ber);
  std::vector<char> out;
  EXPECT_TRUE(ASN1::encode(value, &env, std::back_inserter(out)));
  return std::vector<uint8_t>(out.begin(), out.end());
}

bool Decode(const std::vector<uint8_t>& bytes, ASN1::AbstractData& value) {
  const std::vector<char> input(bytes.begin(), bytes.end());
  ASN1::CoderEnv env(ASN1::CoderEnv::ber);
  return ASN1::decode(input.data(), input.data() + input.size(), &env, value, true);
}

TEST(LgcpBerVectors, BothFormsReadBack) {
  const std::vector<test::BerVector> vectors = test::ReadBerVectors(LGCP_BER_VECTORS_PATH);
  ASSERT_GE(vectors.size(), 7u);
  for (const test::BerVector& vector : vectors) {
    SCOPED_TRACE(vector.name);
    const auto original = Create(vector.type);
    ASSERT_NE(original, nullptr);
    ASSERT_TRUE(original->setFromValueNotation(vector.notation));
    EXPECT_EQ(Encode(*original), vector.ours);
    for (const auto& form : {vector.ours, vector.x690}) {
      if (form.empty()) {
        continue;
      }
      const auto decoded = Create(vector.type);
      ASSERT_TRUE(Decode(form, *decoded));
      EXPECT_EQ(decoded->compare(*original), 0) << decoded->asValueNotation();
    }
  }
}

}  // namespace
