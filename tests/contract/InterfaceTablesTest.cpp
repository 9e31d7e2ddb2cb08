#include <gtest/gtest.h>

#include <string>

#include "contract/Contract.h"
#include "soap/SoapInterface.h"

namespace tarvelo::test {
namespace {

std::string_view typeName(SoapType type) {
    switch (type) {
        case SoapType::String:
            return contract::kString;
        case SoapType::WideString:
            return contract::kWide;
        case SoapType::Int:
            return contract::kInt;
        case SoapType::Double:
            return contract::kDouble;
        case SoapType::DoubleArray:
            return contract::kDoubleArray;
    }
    return "?";
}

// "Name(p1 type, p2 type) result", from either side.
template <class Op, class TypeOf>
std::string signature(const Op& op, TypeOf typeOf) {
    std::string s = std::string(op.name) + "(";
    for (const auto& p : op.params) {
        if (s.back() != '(') s += ", ";
        s += std::string(p.name) + " " + std::string(typeOf(p.type));
    }
    return s + ") " + std::string(typeOf(op.result));
}

TEST(InterfaceTables, BothInterfacesDeclareExactlyThePublishedOperations) {
    ASSERT_EQ(contract::kSpply.operations.size() + contract::kApply.operations.size(), 55u);
    const auto asPublished = [](std::string_view t) { return t; };
    const std::pair<const SoapInterface*, const contract::Interface*> sides[] = {
        {&SoapInterface::supply(), &contract::kSpply},
        {&SoapInterface::apply(), &contract::kApply},
    };
    for (const auto& [code, published] : sides) {
        SCOPED_TRACE(published->name);
        EXPECT_EQ(code->name, published->name);
        EXPECT_EQ(code->ns, published->ns);
        EXPECT_EQ(code->actionTemplate, published->actionTemplate);
        ASSERT_EQ(code->operations.size(), published->operations.size());
        for (std::size_t i = 0; i < published->operations.size(); ++i) {
            const auto& op = published->operations[i];
            EXPECT_EQ(signature(code->operations[i], typeName), signature(op, asPublished))
                << "operation #" << i + 1;
            // The header: the interface's URN, "#", the operation's name, in double quotes.
            EXPECT_EQ(code->soapAction(op.name),
                      "\"" + std::string(published->ns) + "#" + std::string(op.name) + "\"");
        }
    }
}

}  // namespace
}  // namespace tarvelo::test
