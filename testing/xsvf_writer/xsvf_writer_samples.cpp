// Small XSVF images that together use every command, for tests and as the fuzzing seed corpus.
#include "testing/xsvf_writer/xsvf_writer_samples.h"

std::vector<tagXsvfSample> XsvfWriterSamples() {
    std::vector<tagXsvfSample> samples;
    auto add = [&](const char* name, const XsvfWriter& w) { samples.push_back({name, w.Bytes()}); };

    add("complete_only", XsvfWriter().Complete());
    add("idcode_check", XsvfWriter()
                            .State(0)
                            .State(1)
                            .Sir(6, 0x09)
                            .SdrSize(32)
                            .TdoMask(0x0FFFFFFF)
                            .SdrTdo(0, 0x0A740093)
                            .Complete());
    add("all_scans", XsvfWriter()
                         .Comment("every scan kind")
                         .EndIr(1)
                         .EndDr(1)
                         .RunTest(3)
                         .Repeat(2)
                         .Sir(6, 0x3F)
                         .Sir2(6, 0x09)
                         .SdrSize(12)
                         .TdoMask(0x0FF)
                         .Sdr(0xABC)
                         .SdrTdo(0x123, 0x000)
                         .SdrB({0x0A, 0xBC})
                         .SdrC({0x01, 0x23})
                         .SdrE({0x04, 0x56})
                         .SdrTdoB({0x00, 0x01}, {0x00, 0x00})
                         .SdrTdoC({0x00, 0x02}, {0x00, 0x00})
                         .SdrTdoE({0x00, 0x03}, {0x00, 0x00})
                         .EndIr(0)
                         .EndDr(0)
                         .RunTest(0xFFFFFFFF)
                         .Sdr(0x001)
                         .Complete());
    add("sdrinc", XsvfWriter()
                      .SdrSize(16)
                      .SetSdrMasks({0x10, 0x00}, {0x0F, 0xFF})
                      .SdrInc({0x00, 0x00}, {{0x0A, 0xBC}, {0x01, 0x23}})
                      .SdrInc({0x00, 0x00}, {})
                      .Complete());
    add("states_and_waits", XsvfWriter()
                                .State(1)
                                .State(6)
                                .State(7)
                                .State(6)
                                .State(13)
                                .State(14)
                                .State(1)
                                .Wait(1, 1, 5)
                                .Wait(7, 6, 2)
                                .Wait(200, 1, 1)
                                .State(0)
                                .Complete());
    add("bytes_after_complete", XsvfWriter().Complete().Raw({0x05, 0xFF, 0x00}));
    add("illegal_command", XsvfWriter().State(1).Raw({0x1B}).Complete());
    add("bad_enddr", XsvfWriter().EndDr(2).Complete());
    add("bad_state", XsvfWriter().State(1).State(7).Complete());
    add("state_above_15", XsvfWriter().State(16).Complete());
    add("oversize_shift", XsvfWriter().SdrSize(16000001).Complete());
    add("negative_shift", XsvfWriter().SdrSize(0x80000000).Complete());
    add("ends_inside_sdrtdo", XsvfWriter().SdrSize(32).Raw({0x09, 0x00, 0x00, 0x00}));
    add("ends_before_complete", XsvfWriter().State(1).Sir(6, 0x09));
    add("unterminated_comment", XsvfWriter().Raw({0x16, 'a', 'b'}));
    return samples;
}
