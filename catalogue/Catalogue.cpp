#include "Catalogue.h"

#include "CatalogueTable.h"

namespace {

void AppendGroup(TCommandList& ACommands, const catalogue::GroupRow& AGroup) {
    // Every group header spans all versions and has no parameters.
    ACommands.push_back(
        TCommand::Create(true, AGroup.Name, catalogue::V(2, 10), OpenEnded, AGroup.Help));
    for (const catalogue::CommandRow& row : AGroup.Commands) {
        auto command = TCommand::Create(false, row.Name, row.VerMin, row.VerMax, row.Help);
        command->Class = row.Class;
        for (const auto& params : row.Params)
            for (const catalogue::ParamRow& param : params)
                command->AddParam(param.Name, param.VerMin, param.VerMax, param.Help, param.Secret);
        ACommands.push_back(std::move(command));
    }
}

} // namespace

void AppendCatalogue(TCommandList& ACommands) {
    using namespace catalogue;
    for (const GroupRow* group :
         {&AccountsGroup(), &BlacklistGroup(), &ConnectionsGroup(), &LogsGroup(), &RingGamesGroup(),
          &SystemGroup(), &TournamentsGroup()})
        AppendGroup(ACommands, *group);
}
