// A reporter for the benchmarks that compare one run with another of the same run:
// it adds to every run a counter holding its rate divided by its reference run's
// rate, then hands the run on to another reporter (the console, a file).
//
// Benchmarks are named OPERATION/PATH[/...]; a bench says, through referenceOf, which
// run a run is measured against, given its name split at '/' ("" for none). Runs
// are held until the end and then handed on in the order they came, so that every
// reference's rate is known whatever that order was (random interleaving shuffles
// it). Only means and medians get a ratio: one of two spreads means nothing.
#ifndef SEALWRIT_BENCH_RATIO_REPORTER_H
#define SEALWRIT_BENCH_RATIO_REPORTER_H

#include <benchmark/benchmark.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

class RatioReporter : public benchmark::BenchmarkReporter {
public:
    typedef std::string (*ReferenceOf)(const std::vector<std::string>& nameFields);

    RatioReporter(benchmark::BenchmarkReporter* inner, const char* counter, ReferenceOf referenceOf)
        : m_inner(inner), m_counter(counter), m_referenceOf(referenceOf) {}

    bool ReportContext(const Context& context) override {
        // The library points this reporter, not the one inside, at the output file.
        m_inner->SetOutputStream(&GetOutputStream());
        m_inner->SetErrorStream(&GetErrorStream());
        return m_inner->ReportContext(context);
    }

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) Remember(run);
        m_pending.push_back(runs);
    }

    void Finalize() override {
        for (std::vector<Run>& runs : m_pending) {
            for (Run& run : runs) AddRatio(run);
            m_inner->ReportRuns(runs);
        }
        m_inner->Finalize();
    }

private:
    static bool RateOf(const Run& run, double* rate) {
        for (const char* counter : {"bytes_per_second", "items_per_second"}) {
            const auto found = run.counters.find(counter);
            if (found != run.counters.end()) {
                *rate = found->second.value;
                return *rate > 0;
            }
        }
        return false;
    }

    // "/AGGREGATE/REPETITION", which with the run's name keys its rate; "" for a run
    // that gets no ratio.
    static std::string Which(const Run& run, double* rate) {
        if (run.error_occurred || !RateOf(run, rate)) return "";
        if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "mean" &&
            run.aggregate_name != "median") {
            return "";
        }
        return "/" + run.aggregate_name + "/" + std::to_string(run.repetition_index);
    }

    void Remember(const Run& run) {
        double rate = 0;
        const std::string which = Which(run, &rate);
        if (!which.empty()) m_rates[run.run_name.function_name + which] = rate;
    }

    void AddRatio(Run& run) {
        double rate = 0;
        const std::string which = Which(run, &rate);
        if (which.empty()) return;
        const std::string& name = run.run_name.function_name;
        std::vector<std::string> fields;
        std::istringstream in(name);
        for (std::string field; std::getline(in, field, '/');) fields.push_back(field);
        const std::string reference = m_referenceOf(fields);
        const auto found = reference.empty() ? m_rates.end() : m_rates.find(reference + which);
        if (found != m_rates.end())
            run.counters[m_counter] = benchmark::Counter(rate / found->second);
    }

    benchmark::BenchmarkReporter* m_inner;
    const char* m_counter;
    ReferenceOf m_referenceOf;
    std::map<std::string, double> m_rates;
    std::vector<std::vector<Run>> m_pending;
};

// The name with its path field (the second) replaced.
inline std::string WithPath(std::vector<std::string> fields, const std::string& path) {
    if (fields.size() < 2) return "";
    fields[1] = path;
    std::string name = fields[0];
    for (std::size_t i = 1; i < fields.size(); ++i) name += "/" + fields[i];
    return name;
}

#endif
