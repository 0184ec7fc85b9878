#include "app/MappingLoadWork.h"

namespace vcm {

MappingLoad LoadMappingsOnWorkers(LongWorkRunner& runner, const LoadSettings& settings, unsigned threads)
{
    MappingLoad load = runner.Run([&](LongWork&) { return ReadMappings(settings); });
    AccountLookup& accounts = load.model->Accounts();
    const uint64_t total = accounts.PendingIds();
    runner.RunChunks(accounts.PendingChunks(), threads, [&](size_t chunk, LongWork& work) {
        work.SetTotal(total);
        work.Advance(accounts.ResolveChunk(chunk));
    });
    accounts.FinishResolve();
    runner.Run([&](LongWork&) { FinishLoad(load, settings); });
    return load;
}

}  // namespace vcm
