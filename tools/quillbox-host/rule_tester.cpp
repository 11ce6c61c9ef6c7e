#include "quillbox-host/rule_tester.h"

#include "distribution/receive.h"
#include "base/module.h"
#include "entry/startup.h"
#include "settings/config.h"
#include "settings/rule_file.h"
#include "settings/rules.h"

#include <cstdio>
#include <sstream>

namespace quillbox {
namespace {

const char *KindName(wbfax::PatternKind kind) {
    switch (kind) {
    case wbfax::PatternKind::Exact: return "exact";
    case wbfax::PatternKind::Ending: return "ending";
    case wbfax::PatternKind::Beginning: return "beginning";
    case wbfax::PatternKind::Containing: return "containing";
    }
    return "?";
}

std::string Quoted(const std::string &text) { return "\"" + text + "\""; }

std::string KeyName(char letter, int key) {
    char name[8];
    std::snprintf(name, sizeof name, "%c%03d", letter, key);
    return name;
}

void ListSubAddressRules(std::ostringstream &out, const std::vector<wbfax::SubAddressRule> &rules, const std::string &code) {
    out << "sub-address rules, tried in key order, for " << Quoted(code) << ":\n";
    if (rules.empty()) out << "  (none)\n";
    bool won = false;
    for (const wbfax::SubAddressRule &rule : rules) {
        const bool match = rule.code == code;
        out << "  " << KeyName('F', rule.key) << "  code " << Quoted(rule.code)
            << "  folder " << Quoted(rule.folder) << (match && !won ? "  <- first match" : match ? "  (matches too)" : "")
            << "\n";
        won = won || match;
    }
}

void ListNumberRules(std::ostringstream &out, const std::vector<wbfax::NumberRule> &rules, char letter,
                     const char *what, const std::string &key) {
    out << what << " rules, tried most specific first, for " << Quoted(key) << ":\n";
    if (rules.empty()) out << "  (none)\n";
    bool won = false;
    int order = 1;
    for (const wbfax::NumberRule &rule : rules) {
        const bool match = wbfax::PatternMatches(rule.kind, rule.stripped, key);
        out << "  " << order++ << ". " << KeyName(letter, rule.key) << "  " << KindName(rule.kind) << " " << Quoted(rule.pattern) << "  folder " << Quoted(rule.folder)
            << (match && !won ? "  <- first match" : match ? "  (matches too)" : "") << "\n";
        won = won || match;
    }
}

}  // namespace

std::string ExplainRule(const WhichRuleCommand &command) {
    wbfax::ModuleStartup(wbfax::platform::ThisModule());
    std::ostringstream out;
    const int useMail = wbfax::ReadUseSmtp();
    const wbfax::RuleSet rules = wbfax::ReadRuleSet(command.box, useMail);
    if (!rules.exists) {
        out << "box " << command.box << " has no rule file (" << wbfax::platform::NativePath(wbfax::RuleFilePath(command.box))
            << "): a document stays where the host put it\n";
        wbfax::ModuleShutdown();
        return out.str();
    }
    wbfax::ReceiveRecord record;
    record.dataType = command.dataType;
    record.remoteNumber = command.remoteNumber;
    record.fCode = command.subAddress;
    const wbfax::RuleTarget target = wbfax::ChooseRule(rules, record);

    if (command.dataType == 0) {
        ListNumberRules(out, rules.destination, 'D', "destination-number", wbfax::DestinationKey(command.remoteNumber));
    } else {
        ListSubAddressRules(out, rules.subAddress, command.subAddress);
        ListNumberRules(out, rules.sender, 'T', "sender-number", wbfax::SenderKey(command.remoteNumber));
    }
    const wbfax::RuleTarget &fallback = command.dataType == 0 ? rules.otherSent : rules.otherReceived;
    out << "fallback (" << (command.dataType == 0 ? "TxFile" : "OtherFile") << "): folder " << Quoted(fallback.folder) << "\n";

    out << "winner: ";
    if (target.folder.empty()) out << "none; the document goes to the box's storage folder itself\n";
    else out << "folder " << Quoted(target.folder) << (target.pattern.empty() && target.code.empty() ? " (fallback)" : "")
             << ", notify " << (useMail == 1 ? "by mail " : "on PCs ") << Quoted(target.notifyList) << "\n";
    wbfax::ModuleShutdown();
    return out.str();
}

}  // namespace quillbox
