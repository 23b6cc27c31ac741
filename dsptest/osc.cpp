#include "dsptest/osc.h"

#include "debug_output.h"
#include "file_mapping.h"

void Defaults(VarelTest_Osc& t) {
    t = VarelTest_Osc{};
    t.preOscTime = 1.0f;
    t.em = 57.735f;
    t.en = 57.735f;
    t.zTotalMag = 10.0f;
    t.zTotalAng = 90.0f;
    t.zmMag = 10.0f;
    t.zmAng = 90.0f;
    t.oscAngTo = 80.0f;
    t.oscTs = 0.5f;
    t.fre = 50.0f;
    t.oscNumbers = 10;
    t.faultTrigTime = 1.0f;
    t.faultKeepTimeMax = 1.0f;
    t.breakerBreakTime = 0.02f;
    t.breakerCloseTime = 0.02f;
    t.sureTime = 0.015f;
    t.outputKeepTime = 0.02f;
}

void Walk(FieldWalker& w, VarelTest_Osc& t) {
    WalkPhasors(w, OLESTR("Up"), t.up);
    WalkPhasors(w, OLESTR("Ip"), t.ip);
    w.Real(OLESTR("PreOscTime"), t.preOscTime);
    w.Real(OLESTR("Em"), t.em);
    w.Real(OLESTR("En"), t.en);
    w.Real(OLESTR("Ztotal_Mag"), t.zTotalMag);
    w.Real(OLESTR("Ztotal_Ang"), t.zTotalAng);
    w.Real(OLESTR("Zm_Mag"), t.zmMag);
    w.Real(OLESTR("Zm_Ang"), t.zmAng);
    w.Int(OLESTR("nOscMode"), t.oscMode);
    w.Real(OLESTR("OscAng_From"), t.oscAngFrom);
    w.Real(OLESTR("OscAng_To"), t.oscAngTo);
    w.Int(OLESTR("nRotateDirection"), t.rotateDirection);
    w.Real(OLESTR("OscTs"), t.oscTs);
    w.Real(OLESTR("Fre"), t.fre);
    w.Int(OLESTR("nOscNumbers"), t.oscNumbers);
    w.Int(OLESTR("bFault"), t.bFault);
    w.Real(OLESTR("FaultTrigTime"), t.faultTrigTime);
    w.Real(OLESTR("FaultKeepTime_Max"), t.faultKeepTimeMax);
    w.Int(OLESTR("theFile_downloadFlag"), t.fileDownloadFlag);
    w.Int(OLESTR("PTPos"), t.ptPos);
    w.Int(OLESTR("bSimulateBreakerDelay"), t.bSimulateBreakerDelay);
    w.Real(OLESTR("Breaker_BreakTime"), t.breakerBreakTime);
    w.Real(OLESTR("Breaker_CloseTime"), t.breakerCloseTime);
    WalkTripLogic(w, t);
    w.Int(OLESTR("PowerMode"), t.powerMode);
    w.Real(OLESTR("Ukmin_Mag"), t.ukMin);
    w.Real(OLESTR("Ukmax_Mag"), t.ukMax);
    w.Real(OLESTR("Ikmin_Mag"), t.ikMin);
    w.Real(OLESTR("Ikmax_Mag"), t.ikMax);
    w.Int(OLESTR("PreOSCWaveBegin"), t.preOscWaveBegin);
    w.Int(OLESTR("OSCWaveBegin"), t.oscWaveBegin);
    w.Int(OLESTR("OSCFaultWaveBegin"), t.oscFaultWaveBegin);
    w.Int(OLESTR("OSCWavePTCount"), t.oscWavePTCount);
    w.Int(OLESTR("OSCWaveFileSize"), t.oscWaveFileSize);
    WalkOperationTimes(w, t.result);
}

HRESULT CDspTest_Osc::BeforeDownload() {
    if (!Attached()) return E_NOINTERFACE;
    int32_t bytes, points;
    {
        std::lock_guard<std::mutex> lock(structMutex_);
        bytes = test_.oscWaveFileSize;
        points = test_.oscWavePTCount;
    }
    if (bytes < 1 || points < 1) return E_INVALIDARG;
    SharedMemory block;
    if (!block.OpenShared(kOscMapping)) {
        DebugPrintf("VARELDS: SendWavePlayData: OpenFileMapping failed.\n");
        return E_INVALIDARG;
    }
    // A view of the stated size must fit in the block, and the points in
    // the view: nothing beyond either is read.
    const uint64_t values = static_cast<uint64_t>(points) * kOscPointFloats;
    if (block.size() < static_cast<size_t>(bytes) || values * sizeof(float) > static_cast<uint64_t>(bytes))
        return E_INVALIDARG;
    return SendWaveFrames(reinterpret_cast<const float*>(block.data()), kOscPointFloats,
                          static_cast<uint32_t>(values));
}

HRESULT CDspTest_Osc::BuildTestParams() {
    std::unique_lock<std::mutex> lock(structMutex_);
    const VarelTest_Osc& t = test_;
    for (uint32_t k = 0; k < 3; ++k) AddReal(0 + k, t.up[k].mag);
    for (uint32_t k = 0; k < 3; ++k) AddReal(3 + k, t.up[k].ang);
    for (uint32_t k = 0; k < 3; ++k) AddReal(6 + k, t.ip[k].mag);
    for (uint32_t k = 0; k < 3; ++k) AddReal(9 + k, t.ip[k].ang);
    AddReal(12, t.preOscTime);
    AddReal(13, t.em);
    AddReal(14, t.en);
    AddReal(15, t.zTotalMag);
    AddReal(16, t.zTotalAng);
    AddReal(17, t.zmMag);
    AddReal(18, t.zmAng);
    AddUint(19, t.oscMode);
    AddReal(20, t.oscAngFrom);
    AddReal(21, t.oscAngTo);
    AddUint(22, t.rotateDirection);
    AddReal(23, t.oscTs);
    AddReal(24, t.fre);
    AddUint(25, t.oscNumbers);
    AddUint(26, t.bFault);
    AddReal(27, t.faultTrigTime);
    AddReal(28, t.faultKeepTimeMax);
    AddUint(29, t.fileDownloadFlag);
    AddUint(30, t.ptPos);
    AddReal(31, t.breakerBreakTime);
    AddReal(32, t.breakerCloseTime);
    AddUint(33, t.a);
    AddUint(34, t.b);
    AddUint(35, t.c);
    AddUint(36, t.r);
    AddReal(37, t.sureTime);
    AddReal(38, t.outputDelayTime);
    AddReal(39, t.outputKeepTime);
    AddUint(40, t.powerMode);
    AddReal(41, t.ukMin);
    AddReal(42, t.ukMax);
    AddReal(43, t.ikMin);
    AddReal(44, t.ikMax);
    AddUint(45, t.preOscWaveBegin);
    AddUint(46, t.oscWaveBegin);
    AddUint(47, t.oscFaultWaveBegin);
    AddUint(48, t.oscWavePTCount);
    lock.unlock();
    return SendTestParamList();
}

bool CDspTest_Osc::ConvertResult(ResultWords& words) {
    ConvertOperationTimes(words, test_.result);
    return true;
}
