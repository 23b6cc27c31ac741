#include "agent/fault_messages.h"

#include <gtest/gtest.h>

#include "text.h"

namespace {
std::string Alarm(uint32_t model, uint32_t low, uint32_t high) { return Utf16ToUtf8(AlarmText(model, low, high)); }
std::string Code(uint32_t code) { return Utf16ToUtf8(ResultCodeText(static_cast<HRESULT>(code))); }
} // namespace

TEST(AlarmText, FamiliesPickTheirTablesBitByBit) {
    EXPECT_EQ(Alarm(0x10000, 0, 0), "");
    EXPECT_EQ(Alarm(0x10000, 1u << 22, 0), "告警：第 22 位故障;\n");
    EXPECT_EQ(Alarm(0x10000, 1, 0x80000000u), "告警：第1组电流-温度过热;\n告警：大电流输出限时, 终止试验;\n");
    EXPECT_EQ(Alarm(0x10001, 0, 1u << 30), "告警：其他原因, 如按 ESC 键终止试验;\n");
    EXPECT_EQ(Alarm(0x10000, 1u << 19 | 1u << 20, 0), "告警：AC220V 电源火/零线接反;\n;\n");
    EXPECT_EQ(Alarm(0x20000, 1u << 7, 0), ";\n");
    EXPECT_EQ(Alarm(0x20000, 1u << 6 | 1u << 9, 0), "告警：机器掉电;\n告警：第 9 位故障;\n");
    EXPECT_EQ(Alarm(0x20000, 0, 0x80000000u), "告警：大电流限时, 终止试验;\n");
    EXPECT_EQ(Alarm(0x20000, 0, 0x40000000u), "告警：第 62 位故障;\n");
    EXPECT_EQ(Alarm(0x30000, 0xFFFFFFFF, 0xFFFFFFFF), "") << "family 3 has no table";
}

TEST(AlarmText, UnknownFamilyNamesTheModelAndEveryBit) {
    EXPECT_EQ(Alarm(262145, 1u << 5, 0), "未定义硬件型号:262145\n告警: 第 5 故障;\n");
    EXPECT_EQ(Alarm(0, 1, 1), "未定义硬件型号:0\n告警: 第 0 故障;\n告警: 第 32 故障;\n");
}

TEST(ResultCodeText, ServerFamilyByItsLowByte) {
    EXPECT_EQ(Code(0xA0190100), "执行正确。");
    EXPECT_EQ(Code(0xA0190102), "网络通讯数据CRC校验错误。");
    EXPECT_EQ(Code(0xA0190105),
              "网络通讯数据发送超时，请检查: \r\n\r\n 1. 网络连接是否正常 (指示灯亮); \r\n\r\n 2. 测试仪的 IP "
              "地址设置是否正确; \r\n\r\n 3. 是否有防火墙开启: 是, 则增加 '例外' (UDP, 端口 2001);\r\n\r\n 4. "
              "是否双网卡同时开启: 是, 则暂时禁用另一网卡; ");
    EXPECT_EQ(Code(0xA0190205), Code(0xA0190105)) << "only the low 8 bits choose";
    EXPECT_EQ(Code(0xA019010D), "");
    EXPECT_EQ(Code(0xA0190113), "");
    EXPECT_EQ(Code(0xA0190F66), "向 IO650 发送 PTCT 失败! ");
    EXPECT_EQ(Code(0xA019010F), "波形回放: 试验下传波形前插值时出现错误。");
}

TEST(ResultCodeText, OtherCodesShowTheirNumber) {
    EXPECT_EQ(Code(0x80004005), "执行失败，错误码: 0先80004005");
    EXPECT_EQ(Code(0), "执行失败，错误码: 0先00000000");
    EXPECT_EQ(Code(0x8007000E), "执行失败，错误码: 0先8007000E");
}
