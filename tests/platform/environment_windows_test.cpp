#include <gtest/gtest.h>

#include "platform/windows/windows_api.h"
#include "platform/windows/windows_platform.h"

namespace quarnet {
namespace {

TEST(WindowsEnvironment, SetEmptyUnsetAndNotUnicode) {
    auto environment = windows::make_environment();
    ::SetEnvironmentVariableW(L"QUARNET_TEST_VALUE", L"http://localhost:8080/dl \u00e9");
    ::SetEnvironmentVariableW(L"QUARNET_TEST_EMPTY", L"");
    ::SetEnvironmentVariableW(L"QUARNET_TEST_UNSET", nullptr);
    const wchar_t lone_surrogate[] = {L'a', static_cast<wchar_t>(0xD800), 0};
    ::SetEnvironmentVariableW(L"QUARNET_TEST_SURROGATE", lone_surrogate);
    std::wstring long_value(5000, L'x');
    ::SetEnvironmentVariableW(L"QUARNET_TEST_LONG", long_value.c_str());

    auto value = environment->read("QUARNET_TEST_VALUE");
    EXPECT_EQ(value.state, EnvironmentValue::State::Set);
    EXPECT_EQ(value.value, "http://localhost:8080/dl \xC3\xA9");

    auto empty = environment->read("QUARNET_TEST_EMPTY");
    EXPECT_EQ(empty.state, EnvironmentValue::State::Set);
    EXPECT_EQ(empty.value, "");

    EXPECT_EQ(environment->read("QUARNET_TEST_UNSET").state, EnvironmentValue::State::Unset);
    EXPECT_EQ(environment->read("QUARNET_TEST_SURROGATE").state, EnvironmentValue::State::NotUnicode);
    EXPECT_EQ(environment->read("QUARNET_TEST_LONG").value, std::string(5000, 'x'));
}

}  // namespace
}  // namespace quarnet
