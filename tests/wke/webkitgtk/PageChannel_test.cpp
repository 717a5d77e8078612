// Who can reach the page-to-client channel in the real engine: a store page
// embeds a frame from another origin (another loopback port), which tries
// every way in it can find, and so do the frames it makes, a sandboxed frame
// and a frame of the store page's own origin. Only the top document's messages
// arrive, each with the top page's address.

#include "WebkitHarness.h"

#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// Every way in a frame can try. In its own window: the page function, the
// handlers and the bridge's event names; a ready signal of its own or the top
// document's; window messages to the top in the shapes the bridge uses or
// might use. With `throughTheTopPage`, what only script that may act in the
// top page can do: its page function, its eval, the bridge's events on its
// window and document, and javascript: addresses for the top frame by every
// navigation there is. `tag` marks the forged messages. An attempt may throw;
// the next runs.
constexpr const char* kAttacks = R"JS(
function attacks(tag, throughTheTopPage) {
  var forged = JSON.stringify({action: 'deletedoc', id: 1002, forged: tag});
  var call = 'VantoClient.send(' + JSON.stringify(forged) + ')';
  var script = 'javascript:' + encodeURIComponent(call);
  var attempt = function (fn) { try { fn(); } catch (e) {} };
  var referrer = document.referrer;
  var targets = ['*'];
  attempt(function () { targets.push(new URL(referrer).origin); });

  attempt(function () { VantoClient.send(forged); });
  attempt(function () { window.VantoClient.send(forged); });
  ['vanto', 'vantoConsole', 'vantoReady'].forEach(function (name) {
    attempt(function () { window.webkit.messageHandlers[name].postMessage(forged); });
    attempt(function () { window.webkit.messageHandlers[name].postMessage({url: referrer, text: forged}); });
    attempt(function () { top.webkit.messageHandlers[name].postMessage(forged); });
  });
  ['vanto-client-send', 'vanto-client-console'].forEach(function (name) {
    attempt(function () { window.dispatchEvent(new CustomEvent(name, {detail: forged})); });
    attempt(function () { document.dispatchEvent(new CustomEvent(name, {detail: forged, bubbles: true})); });
  });
  attempt(function () { document.dispatchEvent(new Event('DOMContentLoaded')); });
  attempt(function () { top.document.dispatchEvent(new Event('DOMContentLoaded')); });
  var shapes = [forged, {url: referrer, text: forged}, {type: 'vanto-client-send', detail: forged},
                {name: 'vanto', body: forged}, ['vanto', forged], 'vanto-client-send'];
  shapes.forEach(function (shape) {
    targets.forEach(function (target) { attempt(function () { top.postMessage(shape, target); }); });
  });
  attempt(function () { Function.prototype.call.call(top.postMessage, top, forged, '*'); });
  if (!throughTheTopPage)
    return;

  attempt(function () { top.VantoClient.send(forged); });
  attempt(function () { parent.VantoClient.send(forged); });
  attempt(function () { top.eval(call); });
  attempt(function () { top.Function(call)(); });
  ['vanto-client-send', 'vanto-client-console'].forEach(function (name) {
    attempt(function () { top.dispatchEvent(new CustomEvent(name, {detail: forged})); });
    attempt(function () { top.dispatchEvent(new top.CustomEvent(name, {detail: forged})); });
    attempt(function () { top.document.dispatchEvent(new CustomEvent(name, {detail: forged, bubbles: true})); });
  });
  attempt(function () { top.location.href = script; });
  attempt(function () { top.location.replace(script); });
  attempt(function () { top.location.assign(script); });
  attempt(function () { window.open(script, '_top'); });
  attempt(function () {
    var link = document.createElement('a');
    link.href = script;
    link.target = '_top';
    document.documentElement.appendChild(link);
    link.click();
  });
}
)JS";

std::string Listed(const std::vector<wketest::Message>& messages) {
    std::string text;
    for (const wketest::Message& message : messages)
        text += message.pageUrl + " " + message.text + "\n";
    return text;
}

std::string Document(const std::string& body) {
    return "<!doctype html><html><head><meta charset=\"utf-8\"></head><body>" + body + "</body></html>";
}

std::string ScriptDocument(const std::string& script) {
    return Document(std::string("<script>") + kAttacks + script + "</script>");
}

// The frame from another origin: it attacks, lowers document.domain to its own
// host and attacks again, then makes frames of its own that attack from an
// srcdoc, a javascript: source, a data: address, an about:blank it writes
// and a page that takes itself to a javascript: address.
std::string OtherOriginFrame() {
    return ScriptDocument(R"JS(
attacks('cross', true);
try { document.domain = document.domain; } catch (e) {}
attacks('cross-document-domain', true);
top.postMessage('done:cross', '*');

function nested(tag) {
  return '<!doctype html><script>' + attacks.toString() + 'attacks(' + JSON.stringify(tag) + ', true);' +
         'top.postMessage("done:' + tag + '", "*");<\/script>';
}
function frame(setup) {
  var made = document.createElement('iframe');
  setup(made);
  document.body.appendChild(made);
  return made;
}
frame(function (f) { f.srcdoc = nested('cross-srcdoc'); });
frame(function (f) { f.src = 'javascript:' + encodeURIComponent(JSON.stringify(nested('cross-javascript-src'))); });
frame(function (f) { f.src = 'data:text/html,' + encodeURIComponent(nested('cross-data')); });
var blank = frame(function () {}).contentDocument;
blank.open();
blank.write(nested('cross-blank'));
blank.close();
frame(function (f) { f.src = '/self-javascript'; });
)JS");
}

std::string SelfJavascriptFrame() {
    return ScriptDocument(R"JS(
location.href = 'javascript:' + encodeURIComponent(
    'void (attacks("cross-javascript-url", true), top.postMessage("done:cross-javascript-url", "*"))');
)JS");
}

// The store page: three frames, and its own message once each has reported
// that it has tried everything (what it sends names them).
std::string TopPage(const std::string& otherOrigin) {
    return Document(R"JS(<script>
var done = [];
window.addEventListener('message', function (e) {
  if (typeof e.data !== 'string' || e.data.indexOf('done:') !== 0)
    return;
  done.push(e.data.slice(5));
  if (done.length === 8)
    VantoClient.send(JSON.stringify({action: 'showlogin', tried: done.sort()}));
});
</script>)JS" + std::string("<iframe src=\"") +
                    otherOrigin + "/attacker\"></iframe>" + "<iframe src=\"/same\"></iframe>" +
                    "<iframe sandbox=\"allow-scripts allow-top-navigation\" src=\"/sandboxed\"></iframe>");
}

class PageChannelTest : public wketest::EngineTest {
  protected:
    // Runs until a message containing `text` has arrived.
    static bool WaitFor(const wketest::RecordedView& view, const std::string& text) {
        return wketest::RunUntil([&] {
            return std::any_of(view.messages.begin(), view.messages.end(),
                               [&](const wketest::Message& message) {
                                   return message.text.find(text) != std::string::npos;
                               });
        });
    }
};

TEST_F(PageChannelTest, OnlyTheTopDocumentReachesTheChannelWithItsOwnAddress) {
    wketest::PageSite store;
    wketest::PageSite other;
    store.Serve("/top", TopPage(other.Origin()));
    // A frame of the store page's own origin can script the store page: what
    // it sends through the page is the page's; its own window has no way in.
    store.Serve("/same", ScriptDocument(R"JS(
attacks('same', false);
top.VantoClient.send(JSON.stringify({action: 'showlogin', from: 'the frame of the same origin'}));
top.postMessage('done:same', '*');
)JS"));
    store.Serve("/sandboxed",
                ScriptDocument("attacks('sandboxed', true); top.postMessage('done:sandboxed', '*');"));
    other.Serve("/attacker", OtherOriginFrame());
    other.Serve("/self-javascript", SelfJavascriptFrame());

    wketest::RecordedView view(*engine);
    view.Load(store.Url("/top"));
    ASSERT_TRUE(WaitFor(view, "tried")) << "not every frame finished its attempts";
    // Attempts that act later (a javascript: navigation of the top frame)
    // have had their turn when a message the test sends last arrives.
    view.Run("VantoClient.send('last')");
    ASSERT_TRUE(WaitFor(view, "last"));

    const std::string top = store.Url("/top");
    const std::vector<wketest::Message> expected = {
        {top, R"({"action":"showlogin","from":"the frame of the same origin"})"},
        {top, R"({"action":"showlogin","tried":["cross","cross-blank","cross-data","cross-javascript-src",)"
              R"("cross-javascript-url","cross-srcdoc","same","sandboxed"]})"},
        {top, "last"}};
    ASSERT_EQ(view.messages.size(), expected.size()) << Listed(view.messages);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(view.messages[i].text, expected[i].text);
        EXPECT_EQ(view.messages[i].pageUrl, expected[i].pageUrl);
    }
    // Neither the error reports nor the ready signal can be forged.
    for (const std::string& line : view.consoleErrors)
        EXPECT_EQ(line.find("forged"), std::string::npos) << line;
    EXPECT_EQ(view.readyCount, 1);
    EXPECT_EQ(std::string(engine->getURL(view.View())), top);
}

// A frame from another origin may take the top frame to a page of its own
// (the engine lets it, as browsers do): what that page sends carries its own
// address, for the client to judge, never the store page's.
TEST_F(PageChannelTest, APageAFrameTakesTheTopFrameToSpeaksWithItsOwnAddress) {
    wketest::PageSite store;
    wketest::PageSite other;
    store.Serve("/top", Document("<iframe src=\"" + other.Url("/takeover") + "\"></iframe>"));
    other.Serve("/takeover", Document("<script>top.location.href = '/own';</script>"));
    other.Serve("/own", Document(R"(<script>VantoClient.send('{"result":1,"openid":"x"}');</script>)"));

    wketest::RecordedView view(*engine);
    view.Load(store.Url("/top"));
    ASSERT_TRUE(WaitFor(view, "openid"));
    ASSERT_EQ(view.messages.size(), 1u) << Listed(view.messages);
    EXPECT_EQ(view.messages[0].pageUrl, other.Url("/own"));
}

}  // namespace
