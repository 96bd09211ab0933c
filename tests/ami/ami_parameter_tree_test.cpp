#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ami/AmiParameterTree.h"
#include "ami/AmiParameterValue.h"

namespace {

const char* const kTxString =
    "(kelvane_tx (c0 15) (c1 0) (cm1 4) (c0_sign 1) (c1_sign -1) (cm1_sign 1))";

// Result code of a parse; whatever was built is released again.
int ParseCode(const char* text) {
    ParamList* list = nullptr;
    const int code = ParseAmiString(text, &list);
    EXPECT_EQ(code == kParseOk, list != nullptr) << text;
    ReleaseParamList(list);
    return code;
}

const ParamEntry* Children(const ParamNode* branch) {
    return static_cast<const ParamEntry*>(branch->items);
}

const ParamValue* Values(const ParamNode* leaf) {
    return static_cast<const ParamValue*>(leaf->items);
}

// The first value of a leaf, as written.
std::string FirstText(const AmiParameterTree& tree, const char* path) {
    const ParamNode* leaf = tree.FindLeaf(path);
    if (leaf == nullptr || leaf->itemCount < 1) return "<none>";
    return Values(leaf)[0].text;
}

}  // namespace

// ---- result codes ----

TEST(AmiParameterParse, WellFormedTextsGiveZero) {
    EXPECT_EQ(ParseCode(kTxString), kParseOk);
    EXPECT_EQ(ParseCode(" \t\r\n (kelvane_tx (c0 15))  \n"), kParseOk);
    EXPECT_EQ(ParseCode("(kelvane_tx(c0 15)(c1 0))"), kParseOk);
    EXPECT_EQ(ParseCode("(kelvane_rx (EQ_TABLE (0 3) (1 5)) (Rx_config 2))"), kParseOk);
}

TEST(AmiParameterParse, UnbalancedParenthesesGiveOne) {
    EXPECT_EQ(ParseCode("(kelvane_tx (c0 15)"), kParseUnbalanced);
    EXPECT_EQ(ParseCode("(kelvane_tx (c0 15)))"), kParseUnbalanced);
    // A quoted parenthesis does not count, so this one is missing its partner outside quotes.
    EXPECT_EQ(ParseCode("(kelvane_tx (c0 \")\")"), kParseUnbalanced);
    // An unclosed quote hides everything after it from the count.
    EXPECT_EQ(ParseCode("(kelvane_tx (c0 \"x) (c1 1))"), kParseUnbalanced);
}

TEST(AmiParameterParse, TextNotStartingWithParenthesisGivesTwo) {
    EXPECT_EQ(ParseCode("kelvane_tx (c0 15)"), kParseNoOpening);
    EXPECT_EQ(ParseCode(""), kParseNoOpening);
    EXPECT_EQ(ParseCode(" \t\n"), kParseNoOpening);
    EXPECT_EQ(ParseCode(")("), kParseNoOpening);
}

TEST(AmiParameterParse, NullArgumentsAndLeafRootGiveThree) {
    ParamList* list = nullptr;
    EXPECT_EQ(ParseAmiString(nullptr, &list), kParseBadRoot);
    EXPECT_EQ(ParseAmiString(kTxString, nullptr), kParseBadRoot);
    EXPECT_EQ(ParseCode("(c0 15)"), kParseBadRoot);
    // A root leaf that is dropped for its "(" leaves no entry at all.
    EXPECT_EQ(ParseCode("(c0 1 (z 2))"), kParseBadRoot);
}

TEST(AmiParameterParse, GroupOutsideTheRootGivesFive) {
    EXPECT_EQ(ParseCode("(a (x 1)) (b (y 2))"), kParseNoEnclosingGroup);
    EXPECT_EQ(ParseCode("(a (x 1))(y 2)"), kParseNoEnclosingGroup);
}

TEST(AmiParameterParse, NameOnlyGroupEndsItsParentAndGivesSix) {
    EXPECT_EQ(ParseCode("(kelvane_tx (c0 15) (c1))"), kParseTooManyCloses);
    EXPECT_EQ(ParseCode("(kelvane_tx (c0 15) (c1 ))"), kParseTooManyCloses);
    EXPECT_EQ(ParseCode("(kelvane_tx (c1) (c0 15))"), kParseTooManyCloses);
    EXPECT_EQ(ParseCode("(a)"), kParseTooManyCloses);
    // Balanced counts, but the root closes before the last "(" opens.
    EXPECT_EQ(ParseCode("(a (x 1)))("), kParseTooManyCloses);
}

TEST(AmiParameterParse, QuoteInNameThatHidesParenthesisFromCountGivesSeven) {
    // The count skips "(c" between the quotes of the names; the scan, which takes the quotes
    // as part of the names, finds one group more.
    EXPECT_EQ(ParseCode("(a\"b (c\" (d 1) (e 2))"), kParseTooManyGroups);
}

TEST(AmiParameterParse, TextTheGrammarCannotPlaceGivesEight) {
    EXPECT_EQ(ParseCode("(a (b 1) junk (c 2))"), kParseInconsistent);
    EXPECT_EQ(ParseCode("(a (b 1)) trailing"), kParseInconsistent);
    EXPECT_EQ(ParseCode("(a ( ) (b 1))"), kParseInconsistent);   // a group without a name
    EXPECT_EQ(ParseCode("((b 1))"), kParseInconsistent);
    // The quote in the name pairs with the value's quote in the count, so the value's quote is never closed.
    EXPECT_EQ(ParseCode("(a\"b (c \"1) (d 2)"), kParseInconsistent);
}

TEST(AmiParameterParse, FailureLeavesOutputAlone) {
    ParamList sentinel{};
    ParamList* list = &sentinel;
    EXPECT_EQ(ParseAmiString("(a (x 1)) (b (y 2))", &list), kParseNoEnclosingGroup);
    EXPECT_EQ(list, &sentinel);
    ReleaseParamList(nullptr);
}

// ---- tree layout ----

TEST(AmiParameterParse, EntriesFollowTheOpeningParentheses) {
    ParamList* list = nullptr;
    ASSERT_EQ(ParseAmiString("(m (Usage In) (b (Type Float) (Format Range 0 1)) (Default 2))", &list), kParseOk);
    ASSERT_EQ(list->count, 6);
    const char* names[] = {"m", "Usage", "b", "Type", "Format", "Default"};
    const int kinds[] = {kParamBranch, kParamLeaf, kParamBranch, kParamLeaf, kParamLeaf, kParamLeaf};
    const int levels[] = {1, 2, 2, 3, 3, 2};
    const int tags[] = {0, 1, 0, 2, 3, 4};
    for (int i = 0; i < 6; ++i) {
        const ParamEntry& e = list->entries[i];
        ASSERT_NE(e.node, nullptr);
        EXPECT_STREQ(e.node->name, names[i]);
        EXPECT_EQ(e.kind, kinds[i]) << i;
        EXPECT_EQ(e.level, levels[i]) << i;
        EXPECT_EQ(e.node->tag, tags[i]) << i;
    }
    // Children are copies of the flat entries: the same nodes, in text order.
    const ParamNode* root = list->entries[0].node;
    ASSERT_EQ(root->itemCount, 3);
    EXPECT_EQ(Children(root)[0].node, list->entries[1].node);
    EXPECT_EQ(Children(root)[1].node, list->entries[2].node);
    EXPECT_EQ(Children(root)[2].node, list->entries[5].node);
    EXPECT_EQ(Children(root)[1].kind, kParamBranch);
    EXPECT_EQ(Children(root)[1].level, 2);
    const ParamNode* b = list->entries[2].node;
    ASSERT_EQ(b->itemCount, 2);
    EXPECT_EQ(Children(b)[1].node, list->entries[4].node);
    const ParamNode* format = list->entries[4].node;
    ASSERT_EQ(format->itemCount, 3);
    EXPECT_STREQ(Values(format)[0].text, "Range");
    EXPECT_EQ(Values(format)[0].keyword, 11);
    EXPECT_EQ(Values(format)[2].type, kParamInteger);
    ReleaseParamList(list);
}

TEST(AmiParameterParse, TagsBelongToLeavesOnly) {
    ParamList* list = nullptr;
    ASSERT_EQ(ParseAmiString("(m (Description \"a b\") (Labels x) (Type (Usage In)) (usage In))", &list), kParseOk);
    EXPECT_EQ(list->entries[1].node->tag, 5);
    EXPECT_EQ(list->entries[2].node->tag, 6);
    EXPECT_EQ(list->entries[3].node->tag, 0);  // a branch named Type
    EXPECT_EQ(list->entries[4].node->tag, 1);
    EXPECT_EQ(list->entries[5].node->tag, 0);  // case counts
    ReleaseParamList(list);
}

TEST(AmiParameterParse, LeafWithGroupAmongValuesIsDropped) {
    ParamList* list = nullptr;
    ASSERT_EQ(ParseAmiString("(kelvane_tx (c0 1 (z 2)) (c1 3))", &list), kParseOk);
    ASSERT_EQ(list->count, 4);
    EXPECT_STREQ(list->entries[1].node->name, "c1");
    for (int i = 2; i < 4; ++i) {  // slots past the entries made stay empty
        EXPECT_EQ(list->entries[i].node, nullptr);
        EXPECT_EQ(list->entries[i].kind, 0);
        EXPECT_EQ(list->entries[i].level, 0);
    }
    ReleaseParamList(list);

    const AmiParameterTree tree("(kelvane_tx (c0 1 (z 2)) (c1 3))");
    ASSERT_TRUE(tree.built);
    int value = 0;
    EXPECT_EQ(tree.FindLeaf("kelvane_tx.c0"), nullptr);
    EXPECT_EQ(tree.FindLeaf("kelvane_tx.c0.z"), nullptr);
    EXPECT_EQ(tree.FindLeaf("kelvane_tx.z"), nullptr);
    EXPECT_TRUE(tree.GetInt("kelvane_tx.c1", value));
    EXPECT_EQ(value, 3);
}

TEST(AmiParameterParse, SkippingDroppedLeafPassesOverQuotesAndNesting) {
    const AmiParameterTree tree("(m (c0 1(z \")\" (y (q 1)) 2) 4) (c1 3))");
    ASSERT_TRUE(tree.built);
    EXPECT_EQ(tree.FindLeaf("m.c0"), nullptr);
    EXPECT_EQ(FirstText(tree, "m.c1"), "3");
}

// ---- values ----

TEST(AmiParameterValue, TypingRules) {
    struct Case {
        const char* text;
        int type;
    } cases[] = {
        {"15", kParamInteger},   {"-1", kParamInteger},   {"+7", kParamInteger},   {"  12", kParamInteger},
        {"12.9", kParamFloat},   {"1e-3", kParamFloat},   {".5", kParamFloat},     {"-2.5E+3", kParamFloat},
        {"1e300", kParamFloat},  {"True", kParamBoolean}, {"False", kParamBoolean}, {"true", kParamWord},
        {"TRUE", kParamWord},    {"x", kParamWord},       {"12 ", kParamWord},     {"1.2.3", kParamWord},
        {"", kParamEmpty},       {"-", kParamWord},
        // Not finite numbers: words, so that no getter hands out a NaN or an infinity.
        {"nan", kParamWord},     {"NaN", kParamWord},     {"inf", kParamWord},     {"-Infinity", kParamWord},
        {"1e999", kParamWord},
        // An integer too long for any integer type is still written as one.
        {"99999999999999999999999", kParamInteger},
    };
    for (const Case& c : cases) EXPECT_EQ(ClassifyParamValue(c.text), c.type) << '"' << c.text << '"';
    EXPECT_EQ(ClassifyParamValue(nullptr), kParamEmpty);
}

TEST(AmiParameterValue, ReservedWordsAreExact) {
    EXPECT_EQ(ReservedWordCode("In"), 0);
    EXPECT_EQ(ReservedWordCode("InOut"), 3);
    EXPECT_EQ(ReservedWordCode("UI"), 9);
    EXPECT_EQ(ReservedWordCode("Dual-Dirac"), 18);
    EXPECT_EQ(ReservedWordCode("DjRj"), 19);
    EXPECT_EQ(ReservedWordCode("float"), -1);
    EXPECT_EQ(ReservedWordCode("Integers"), -1);

    ParamList* list = nullptr;
    ASSERT_EQ(ParseAmiString("(m (v Float 4 True \"\" Table))", &list), kParseOk);
    const ParamNode* leaf = list->entries[1].node;
    ASSERT_EQ(leaf->itemCount, 5);
    const int types[] = {kParamWord, kParamInteger, kParamBoolean, kParamEmpty, kParamWord};
    const int keywords[] = {4, -1, -1, -1, 16};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(Values(leaf)[i].type, types[i]) << i;
        EXPECT_EQ(Values(leaf)[i].keyword, keywords[i]) << i;
    }
    ReleaseParamList(list);
}

TEST(AmiParameterValue, QuotedValuesKeepBlanksAndParentheses) {
    const AmiParameterTree tree("(kelvane_tx (label \"a (b) c\"   ) (half \"x (\") (c0 2))");
    ASSERT_TRUE(tree.built);
    const ParamNode* label = tree.FindLeaf("kelvane_tx.label");
    ASSERT_NE(label, nullptr);
    ASSERT_EQ(label->itemCount, 1);
    EXPECT_STREQ(Values(label)[0].text, "a (b) c");
    EXPECT_EQ(FirstText(tree, "kelvane_tx.half"), "x (");
    std::string text;
    EXPECT_TRUE(tree.GetString("kelvane_tx.label", text));
    EXPECT_EQ(text, "a (b) c");
    int c0 = 0;
    EXPECT_TRUE(tree.GetInt("kelvane_tx.c0", c0));
    EXPECT_EQ(c0, 2);
}

TEST(AmiParameterValue, QuotesSplitAndRestartValues) {
    ParamList* list = nullptr;
    // After a closing quote a new value starts; a quote inside a word drops what came before it.
    ASSERT_EQ(ParseAmiString("(m (v \"x\"y ab\"c d\" last  \t))", &list), kParseOk);
    const ParamNode* leaf = list->entries[1].node;
    ASSERT_EQ(leaf->itemCount, 4);
    EXPECT_STREQ(Values(leaf)[0].text, "x");
    EXPECT_STREQ(Values(leaf)[1].text, "y");
    EXPECT_STREQ(Values(leaf)[2].text, "c d");
    EXPECT_STREQ(Values(leaf)[3].text, "last");
    ReleaseParamList(list);
}

// ---- lookups ----

TEST(AmiParameterTree, TransmitterStringReadsBack) {
    const AmiParameterTree tree(kTxString);
    ASSERT_TRUE(tree.built);
    double sign = 0.0;
    EXPECT_TRUE(tree.GetDouble("kelvane_tx.c1_sign", sign));
    EXPECT_EQ(sign, -1.0);
    int c0 = 0;
    EXPECT_TRUE(tree.GetInt("kelvane_tx.c0", c0));
    EXPECT_EQ(c0, 15);
    int cm1 = 0;
    EXPECT_TRUE(tree.GetInt("kelvane_tx.cm1", cm1));
    EXPECT_EQ(cm1, 4);
}

TEST(AmiParameterTree, NumbersTruncateTowardZero) {
    const AmiParameterTree tree("(kelvane_tx (c0 12.9) (c1 -12.9) (c2 15 16))");
    double d = 0.0;
    int i = 0;
    EXPECT_TRUE(tree.GetDouble("kelvane_tx.c0", d));
    EXPECT_EQ(d, 12.9);
    EXPECT_TRUE(tree.GetInt("kelvane_tx.c0", i));
    EXPECT_EQ(i, 12);
    EXPECT_TRUE(tree.GetInt("kelvane_tx.c1", i));
    EXPECT_EQ(i, -12);
    EXPECT_TRUE(tree.GetInt("kelvane_tx.c2", i));  // only the first value is read
    EXPECT_EQ(i, 15);
}

TEST(AmiParameterTree, GettersRefuseOtherTypesAndLeaveOutputAlone) {
    const AmiParameterTree tree("(kelvane_tx (c0 x) (b True) (f False) (t true) (T TRUE) (n 3) (e \"\"))");
    ASSERT_TRUE(tree.built);
    double d = 7.5;
    int i = 7;
    bool b = false;
    std::string s = "keep";
    EXPECT_FALSE(tree.GetDouble("kelvane_tx.c0", d));
    EXPECT_FALSE(tree.GetInt("kelvane_tx.c0", i));
    EXPECT_FALSE(tree.GetBool("kelvane_tx.c0", b));
    EXPECT_FALSE(tree.GetDouble("kelvane_tx.b", d));
    EXPECT_FALSE(tree.GetString("kelvane_tx.b", s));
    EXPECT_FALSE(tree.GetBool("kelvane_tx.t", b));
    EXPECT_FALSE(tree.GetBool("kelvane_tx.T", b));
    EXPECT_FALSE(tree.GetBool("kelvane_tx.n", b));
    EXPECT_FALSE(tree.GetString("kelvane_tx.n", s));
    EXPECT_FALSE(tree.GetString("kelvane_tx.e", s));  // empty value
    EXPECT_FALSE(tree.GetDouble("kelvane_tx.e", d));
    EXPECT_EQ(d, 7.5);
    EXPECT_EQ(i, 7);
    EXPECT_FALSE(b);
    EXPECT_EQ(s, "keep");

    EXPECT_TRUE(tree.GetBool("kelvane_tx.b", b));
    EXPECT_TRUE(b);
    EXPECT_TRUE(tree.GetBool("kelvane_tx.f", b));
    EXPECT_FALSE(b);
    EXPECT_TRUE(tree.GetString("kelvane_tx.c0", s));  // the previous content is replaced
    EXPECT_EQ(s, "x");
}

TEST(AmiParameterTree, GetIntRefusesValuesOutsideIntRange) {
    std::string text =
        "(m (big 1e99) (nan nan) (inf inf) (over 2147483648) (under -2147483649) (max 2147483647)"
        " (min -2147483648) (nearmax 2147483647.9) (nearmin -2147483648.9) (huge 1e300) (long 1";
    text.append(400, '0').append("))");
    const AmiParameterTree numbers(text.c_str());
    ASSERT_TRUE(numbers.built);
    const char* refused[] = {"m.big", "m.nan", "m.inf", "m.over", "m.under", "m.huge", "m.long"};
    for (const char* path : refused) {
        int value = 42;
        EXPECT_FALSE(numbers.GetInt(path, value)) << path;
        EXPECT_EQ(value, 42) << path;
    }
    int value = 0;
    EXPECT_TRUE(numbers.GetInt("m.max", value));
    EXPECT_EQ(value, INT_MAX);
    EXPECT_TRUE(numbers.GetInt("m.min", value));
    EXPECT_EQ(value, INT_MIN);
    EXPECT_TRUE(numbers.GetInt("m.nearmax", value));
    EXPECT_EQ(value, INT_MAX);
    EXPECT_TRUE(numbers.GetInt("m.nearmin", value));
    EXPECT_EQ(value, INT_MIN);

    // A double gets every finite number, and nothing else.
    double d = 0.0;
    EXPECT_TRUE(numbers.GetDouble("m.big", d));
    EXPECT_EQ(d, 1e99);
    d = 5.0;
    EXPECT_FALSE(numbers.GetDouble("m.nan", d));
    EXPECT_FALSE(numbers.GetDouble("m.inf", d));
    EXPECT_FALSE(numbers.GetDouble("m.long", d));  // an integer of 401 digits overflows a double
    EXPECT_EQ(d, 5.0);
    std::string word;
    EXPECT_TRUE(numbers.GetString("m.nan", word));
    EXPECT_EQ(word, "nan");
}

TEST(AmiParameterTree, ListElementsAndSiblingsWithoutBlanks) {
    const AmiParameterTree spaced("(kelvane_rx (EQ_TABLE (0 3) (1 5)))");
    const AmiParameterTree packed("(kelvane_rx(Rx_config 1)(EQ_TABLE(0 3)(1 5))(Factor 0.5))");
    for (const AmiParameterTree* tree : {&spaced, &packed}) {
        ASSERT_TRUE(tree->built);
        int element = 0;
        EXPECT_TRUE(tree->GetInt("kelvane_rx.EQ_TABLE.1", element));
        EXPECT_EQ(element, 5);
        EXPECT_TRUE(tree->GetInt("kelvane_rx.EQ_TABLE.0", element));
        EXPECT_EQ(element, 3);
        EXPECT_EQ(tree->FindLeaf("kelvane_rx.EQ_TABLE.2"), nullptr);
        EXPECT_EQ(tree->FindLeaf("kelvane_rx.EQ_TABLE"), nullptr);  // a branch is no leaf
    }
    double factor = 0.0;
    EXPECT_TRUE(packed.GetDouble("kelvane_rx.Factor", factor));
    EXPECT_EQ(factor, 0.5);
    int config = 0;
    EXPECT_TRUE(packed.GetInt("kelvane_rx.Rx_config", config));
    EXPECT_EQ(config, 1);
}

TEST(AmiParameterTree, PathsMatchExactly) {
    const AmiParameterTree tree(kTxString);
    EXPECT_NE(tree.FindLeaf("kelvane_tx.c0"), nullptr);
    const char* misses[] = {"kelvane_tx.C0", "Kelvane_tx.c0", "kelvane_rx.c0", "kelvane_tx.c", "kelvane_tx.c00",
                            "kelvane_tx.c0.", "kelvane_tx..c0", "kelvane_txc0", "c0", "kelvane_tx", "",
                            "kelvane_tx.c0 ", nullptr};
    for (const char* path : misses) EXPECT_EQ(tree.FindLeaf(path), nullptr) << (path ? path : "null");
}

TEST(AmiParameterTree, FirstMatchInTextOrderWins) {
    // Names may hold full stops, so two leaves can share a dotted path; the earlier one counts.
    const AmiParameterTree dotted("(r (a.b 1) (a (b 2)))");
    const AmiParameterTree nested("(r (a (b 2)) (a.b 1))");
    const AmiParameterTree twice("(r (a (x 0)) (a (b 3)) (b 4) (b 5))");
    EXPECT_EQ(FirstText(dotted, "r.a.b"), "1");
    EXPECT_EQ(FirstText(nested, "r.a.b"), "2");
    EXPECT_EQ(FirstText(twice, "r.a.b"), "3");
    EXPECT_EQ(FirstText(twice, "r.b"), "4");
}

TEST(AmiParameterTree, UnbuiltTreeAnswersNothing) {
    for (const char* text : {static_cast<const char*>(nullptr), "", "(kelvane_tx (c0 15)", "(c0 15)"}) {
        const AmiParameterTree tree(text);
        EXPECT_FALSE(tree.built);
        EXPECT_EQ(tree.list, nullptr);
        double d = 1.0;
        int i = 1;
        bool b = true;
        std::string s = "s";
        EXPECT_EQ(tree.FindLeaf("kelvane_tx.c0"), nullptr);
        EXPECT_FALSE(tree.GetDouble("kelvane_tx.c0", d));
        EXPECT_FALSE(tree.GetInt("kelvane_tx.c0", i));
        EXPECT_FALSE(tree.GetBool("kelvane_tx.c0", b));
        EXPECT_FALSE(tree.GetString("kelvane_tx.c0", s));
        EXPECT_EQ(d, 1.0);
        EXPECT_EQ(i, 1);
        EXPECT_TRUE(b);
        EXPECT_EQ(s, "s");
    }
}

TEST(AmiParameterTree, BlankRunsOfAnyLengthAreSkipped) {
    const std::string blanks = " \t\n\r\v\f  \t\t\n";
    const std::string text = blanks + "(" + blanks + "kelvane_tx" + blanks + "(" + blanks + "c0" + blanks + "15" +
                             blanks + "16" + blanks + ")" + blanks + "(c1" + blanks + "True" + blanks + ")" + blanks +
                             ")" + blanks;
    const AmiParameterTree tree(text.c_str());
    ASSERT_TRUE(tree.built);
    const ParamNode* c0 = tree.FindLeaf("kelvane_tx.c0");
    ASSERT_NE(c0, nullptr);
    ASSERT_EQ(c0->itemCount, 2);
    EXPECT_STREQ(Values(c0)[1].text, "16");
    bool c1 = false;
    EXPECT_TRUE(tree.GetBool("kelvane_tx.c1", c1));
    EXPECT_TRUE(c1);
}

TEST(AmiParameterTree, ManyValuesAndChildrenGrowTheirArrays) {
    std::string text = "(m (list";
    for (int i = 0; i < 1000; ++i) text += " " + std::to_string(i);
    text += ")";
    for (int i = 0; i < 1000; ++i) text += " (p" + std::to_string(i) + " " + std::to_string(-i) + ")";
    text += ")";
    const AmiParameterTree tree(text.c_str());
    ASSERT_TRUE(tree.built);
    const ParamNode* list = tree.FindLeaf("m.list");
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->itemCount, 1000);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(std::string(Values(list)[i].text), std::to_string(i));
    EXPECT_EQ(tree.list->entries[0].node->itemCount, 1001);
    int value = 0;
    EXPECT_TRUE(tree.GetInt("m.p999", value));
    EXPECT_EQ(value, -999);
}

// ---- very deep nesting: nothing may recurse along it ----

TEST(AmiParameterTree, HundredThousandLevelsParseAndResolve) {
    const int levels = 100000;  // the root, levels - 2 branches "a", and the leaf "x"
    std::string text = "(r";
    std::string path = "r";
    for (int i = 0; i < levels - 2; ++i) {
        text += "(a";
        path += ".a";
    }
    text += "(x 7)";
    text.append(static_cast<size_t>(levels - 1), ')');
    path += ".x";

    const AmiParameterTree tree(text.c_str());
    ASSERT_TRUE(tree.built);
    ASSERT_EQ(tree.list->count, levels);
    EXPECT_EQ(tree.list->entries[levels - 1].level, levels);
    int value = 0;
    EXPECT_TRUE(tree.GetInt(path.c_str(), value));
    EXPECT_EQ(value, 7);
    // A miss at the bottom walks the whole chain down and back.
    path.back() = 'y';
    EXPECT_EQ(tree.FindLeaf(path.c_str()), nullptr);
    EXPECT_EQ(tree.FindLeaf("r.a.a.x"), nullptr);

    // The same depth broken by a name-only group at the bottom fails and releases it all.
    std::string broken = text;
    broken.replace(broken.find("(x 7)"), 5, "(x)(y 1)");
    EXPECT_EQ(ParseCode(broken.c_str()), kParseTooManyCloses);
}

// A GUI host often sets the user's locale, where the decimal mark may be a comma; parameter strings still
// write numbers with a point, and they must read the same.
TEST(AmiParameterTree, NumbersReadTheSameUnderADecimalCommaLocale) {
    const char* commaLocales[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"};
    const char* chosen = nullptr;
    for (const char* name : commaLocales)
        if ((chosen = std::setlocale(LC_NUMERIC, name)) != nullptr) break;
    if (chosen == nullptr) GTEST_SKIP() << "no decimal-comma locale installed";
    ASSERT_EQ(std::strtod("12,5", nullptr), 12.5);  // the locale really reads commas
    const AmiParameterTree tree("(kelvane_rx (DFElsb 0.0125) (VCO_Sensitivity 6.5e8) (CTLE 3.9))");
    double lsb = 0.0, sensitivity = 0.0;
    int ctle = 0;
    EXPECT_TRUE(tree.GetDouble("kelvane_rx.DFElsb", lsb));
    EXPECT_TRUE(tree.GetDouble("kelvane_rx.VCO_Sensitivity", sensitivity));
    EXPECT_TRUE(tree.GetInt("kelvane_rx.CTLE", ctle));
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(lsb, 0.0125);
    EXPECT_EQ(sensitivity, 6.5e8);
    EXPECT_EQ(ctle, 3);
}
