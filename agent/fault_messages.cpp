#include "fault_messages.h"

#include <cstdio>

#include "text.h"

namespace {

WideString Format(const char* format, uint32_t value) {
    char text[128];
    std::snprintf(text, sizeof text, format, value);
    return Utf8ToUtf16(text);
}

// Hardware family 1.
const WCHAR* const kFamily1[22] = {
    OLESTR("告警：第1组电流-温度过热"), OLESTR("告警：第1组电流-过载/开路"), OLESTR("告警：第1组电流-故障"),
    OLESTR("告警：第2组电流-温度过热"), OLESTR("告警：第2组电流-过载/开路"), OLESTR("告警：第2组电流-故障"),
    OLESTR("告警：第3组电流-温度过热"), OLESTR("告警：第3组电流-过载/开路"), OLESTR("告警：第3组电流-故障"),
    OLESTR("告警：第1组电压-温度过热"), OLESTR("告警：第1组电压-过载/短路"), OLESTR("告警：第1组电压-故障"),
    OLESTR("告警：第2组电压-温度过热"), OLESTR("告警：第2组电压-过载/短路"), OLESTR("告警：第2组电压-故障"),
    OLESTR("告警：第3组电压-温度过热"), OLESTR("告警：第3组电压-过载/短路"), OLESTR("告警：第3组电压-故障"),
    OLESTR("告警：AC220V 电源未接地线"), OLESTR("告警：AC220V 电源火/零线接反"), OLESTR(""), OLESTR("")};

// Hardware family 2.
const WCHAR* const kFamily2[9] = {
    OLESTR("告警：电压源1-过流"), OLESTR("告警：电压源1-故障"), OLESTR("告警：电压源2-过流"),
    OLESTR("告警：电压源2-故障"), OLESTR("告警：电流源1-过热"), OLESTR("告警：电流源1-故障"),
    OLESTR("告警：机器掉电"),     OLESTR(""),                   OLESTR("")};

WideString AlarmEntry(int family, unsigned bit) {
    if (family == 1) {
        if (bit < 22) return kFamily1[bit];
        if (bit == 62) return OLESTR("告警：其他原因, 如按 ESC 键终止试验");
        if (bit == 63) return OLESTR("告警：大电流输出限时, 终止试验");
    } else {
        if (bit < 9) return kFamily2[bit];
        if (bit == 63) return OLESTR("告警：大电流限时, 终止试验");
    }
    return Format("告警：第 %d 位故障", bit);
}

} // namespace

WideString AlarmText(uint32_t model, uint32_t alarmLow, uint32_t alarmHigh) {
    uint64_t bits = (static_cast<uint64_t>(alarmHigh) << 32) | alarmLow;
    if (bits == 0) return OLESTR("");
    uint32_t family = model >> 16;
    if (family == 3) return OLESTR(""); // recognised, but it has no alarm table
    WideString text;
    if (family != 1 && family != 2) {
        text = Format("未定义硬件型号:%d\n", model);
        for (unsigned bit = 0; bit < 64; ++bit)
            if (bits >> bit & 1) text += Format("告警: 第 %d 故障;\n", bit);
        return text;
    }
    for (unsigned bit = 0; bit < 64; ++bit)
        if (bits >> bit & 1) text += AlarmEntry(static_cast<int>(family), bit) + OLESTR(";\n");
    return text;
}

WideString ResultCodeText(HRESULT code) {
    uint32_t value = static_cast<uint32_t>(code);
    if ((value >> 16) != 0xA019) return Format("执行失败，错误码: 0先%08X", value);
    switch (value & 0xFF) {
    case 0: return OLESTR("执行正确。");
    case 1: return OLESTR("当前命令测试仪执行失败。");
    case 2: return OLESTR("网络通讯数据CRC校验错误。");
    case 3: return OLESTR("测试仪内存不足，请联系厂家予以解决。");
    case 4: return OLESTR("当前命令测试仪不支持，请联系厂家予以解决。");
    case 5:
        return OLESTR("网络通讯数据发送超时，请检查: ")
               OLESTR("\r\n\r\n 1. 网络连接是否正常 (指示灯亮); ")
               OLESTR("\r\n\r\n 2. 测试仪的 IP 地址设置是否正确; ")
               OLESTR("\r\n\r\n 3. 是否有防火墙开启: 是, 则增加 '例外' (UDP, 端口 2001);")
               OLESTR("\r\n\r\n 4. 是否双网卡同时开启: 是, 则暂时禁用另一网卡; ");
    case 6:
        return OLESTR("网络通讯数据发送失败，可能是网络不通, 或者端口无法建立，")
               OLESTR("\r\n\r\n1. 请查看网络连接是否正常，")
               OLESTR("\r\n\r\n2. 查看Windows任务管理器中是否有 VAREL 程序运行。");
    case 7: return OLESTR("测试仪检测到 TestID 不一致，请联系厂家予以解决。");
    case 8: return OLESTR("测试仪补偿数据未初始化，请联系厂家予以解决。");
    case 9: return OLESTR("读取测试仪数据错误，请联系厂家予以解决。");
    case 10: return OLESTR("文件格式错误。");
    case 11:
        return OLESTR("发现不支持的通道配置信号输出类型，")
               OLESTR("\r\n\r\n请点击菜单栏“配置”--“系统配置(测试仪)”，修改“通道配置”。")
               OLESTR("\r\n\r\n 1. K(KX) 系列测试仪仅支持“内部功放输出”; ")
               OLESTR("\r\n\r\n 2. N 系列测试仪仅支持“内部功放输出”; ")
               OLESTR("\r\n\r\n 3. R 系列测试仪仅支持“小信号”, “数字量 9-1 (/FT3)”, “数字量 9-2”; ");
    case 12: return OLESTR("获取测试仪补偿数据失败，请联系厂家予以解决。");
    case 14: return OLESTR("试验下传波形前发现电压电流越界。");
    case 15: return OLESTR("波形回放: 试验下传波形前插值时出现错误。");
    default: return (value & 0xFFFF) == 0x0F66 ? OLESTR("向 IO650 发送 PTCT 失败! ") : OLESTR("");
    }
}
