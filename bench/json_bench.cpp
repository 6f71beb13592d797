// The design file's JSON against two JSON libraries that Debian packages, on
// the same generated design: parsing, writing in the canonical layout, and
// the host's own loading (parse and validate) and saving (merge and write).
//
//   python3 tools/gen_design.py --sheets 100 -o /tmp/d100.json
//   build/bench/bench/orlune_json_bench /tmp/d100.json
//
// The libraries are parsed as close to what the host needs as they allow:
// rapidjson keeps numbers as strings (the host keeps every lexeme), both keep
// key order. Neither tells lines or repeated keys, which the host reports.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <rapidjson/document.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>
#include <nlohmann/json.hpp>

#include "host/json.h"
#include "host/load.h"
#include "host/save.h"

namespace {

std::shared_ptr<const std::string> design;

void bytesOf(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(design->size()));
}

void OrluneParse(benchmark::State& state) {
    for (auto _ : state) {
        orlune::host::JsonDocument doc;
        orlune::host::JsonError error;
        if (!orlune::host::parseJson(design, doc, error)) state.SkipWithError(error.message.c_str());
        benchmark::DoNotOptimize(doc.root);
    }
    bytesOf(state);
}

void RapidjsonParse(benchmark::State& state) {
    for (auto _ : state) {
        rapidjson::Document doc;
        doc.Parse<rapidjson::kParseNumbersAsStringsFlag | rapidjson::kParseValidateEncodingFlag>(design->data(),
                                                                                                 design->size());
        if (doc.HasParseError()) state.SkipWithError("rapidjson refused the design");
        benchmark::DoNotOptimize(doc.IsObject());
    }
    bytesOf(state);
}

void NlohmannParse(benchmark::State& state) {
    for (auto _ : state) {
        auto doc = nlohmann::ordered_json::parse(*design);
        benchmark::DoNotOptimize(doc.size());
    }
    bytesOf(state);
}

void OrluneWrite(benchmark::State& state) {
    orlune::host::JsonDocument doc;
    orlune::host::JsonError error;
    orlune::host::parseJson(design, doc, error);
    for (auto _ : state) {
        std::string out = orlune::host::writeJson(doc);
        benchmark::DoNotOptimize(out.data());
    }
    bytesOf(state);
}

void RapidjsonWrite(benchmark::State& state) {
    rapidjson::Document doc;
    doc.Parse<rapidjson::kParseNumbersAsStringsFlag>(design->data(), design->size());
    for (auto _ : state) {
        rapidjson::StringBuffer buffer;
        rapidjson::PrettyWriter<rapidjson::StringBuffer> writer(buffer);
        writer.SetIndent(' ', 2);
        doc.Accept(writer);
        benchmark::DoNotOptimize(buffer.GetString());
    }
    bytesOf(state);
}

void NlohmannWrite(benchmark::State& state) {
    const auto doc = nlohmann::ordered_json::parse(*design);
    for (auto _ : state) {
        std::string out = doc.dump(2);
        benchmark::DoNotOptimize(out.data());
    }
    bytesOf(state);
}

void HostLoad(benchmark::State& state) {
    for (auto _ : state) {
        std::unique_ptr<orlune::host::Design> loaded;
        std::string reason;
        if (orlune::host::loadDesign(design, "design", loaded, reason) != 0) state.SkipWithError(reason.c_str());
        benchmark::DoNotOptimize(loaded.get());
    }
    bytesOf(state);
}

void HostSave(benchmark::State& state) {
    std::unique_ptr<orlune::host::Design> loaded;
    std::string reason;
    orlune::host::loadDesign(design, "design", loaded, reason);
    loaded->components[0].symbol.highlight = 3;
    for (auto _ : state) {
        std::string out = orlune::host::designText(*loaded);
        benchmark::DoNotOptimize(out.data());
    }
    bytesOf(state);
}

}  // namespace

BENCHMARK(OrluneParse)->Unit(benchmark::kMillisecond);
BENCHMARK(RapidjsonParse)->Unit(benchmark::kMillisecond);
BENCHMARK(NlohmannParse)->Unit(benchmark::kMillisecond);
BENCHMARK(OrluneWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(RapidjsonWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(NlohmannWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(HostLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(HostSave)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: orlune_json_bench DESIGN.json [--benchmark_...]\n");
        return 2;
    }
    std::string bytes;
    std::string reason;
    if (!orlune::host::readDesignBytes(argv[1], argv[1], bytes, reason)) {
        std::fprintf(stderr, "%s\n", reason.c_str());
        return 2;
    }
    design = std::make_shared<const std::string>(std::move(bytes));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
