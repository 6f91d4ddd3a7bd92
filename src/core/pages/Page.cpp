// SPDX-License-Identifier: GPL-2.0-or-later
#include "pages/Page.h"

#include "mib/MibVariables.h"
#include "mib/WriteGroupBuilder.h"

namespace kelvo::pages {

Page::Page(PageContext& context, mib::Group group) : context_(context), group_(group) {
  context_.session.AttachGroup(group_, this);
}

Page::~Page() { context_.session.AttachGroup(group_, nullptr); }

void Page::Refresh() { context_.session.ReadGroup(group_, host_); }

std::vector<std::string> Page::ReadIdentifiers() const {
  std::vector<std::string> oids;
  for (const mib::Variable variable : mib::ReadGroup(group_))
    oids.push_back(mib::FullOid(variable));
  return oids;
}

void Page::BuildWrite(snmp::AgentSession& session) {
  mib::BuildWriteGroup(group_, context_.values, session);
}

void Page::Show(std::string_view text, ui::MessageIcon icon) {
  Prompter().ShowMessage(text, ui::kApplicationCaption, icon);
}

}  // namespace kelvo::pages
