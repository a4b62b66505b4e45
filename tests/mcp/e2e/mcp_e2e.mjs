// End-to-end check of `perchkin --mcp` with the official MCP TypeScript client: a headless
// companion on a free port, the nine tools listed, each wired tool called, and a call with no
// companion reachable.
//
//   npm install && node mcp_e2e.mjs /path/to/perchkin
//   PERCHKIN_WRAPPER=wine node mcp_e2e.mjs /path/to/perchkin.exe   (the Windows build)
import { Client } from "@modelcontextprotocol/sdk/client/index.js";
import { StdioClientTransport } from "@modelcontextprotocol/sdk/client/stdio.js";
import { spawn } from "node:child_process";
import net from "node:net";
import assert from "node:assert/strict";

const exe = process.argv[2] ?? process.env.PERCHKIN_BIN;
if (!exe) {
  console.error("usage: node mcp_e2e.mjs <path to perchkin>");
  process.exit(2);
}

// The command line that runs perchkin with args, through the wrapper when one is set.
const wrapper = process.env.PERCHKIN_WRAPPER;
function command(args) {
  return wrapper ? [wrapper, [exe, ...args]] : [exe, args];
}

function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.once("error", reject);
    server.listen(0, "127.0.0.1", () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

function canConnect(port) {
  return new Promise((resolve) => {
    const socket = net.connect(port, "127.0.0.1");
    socket.once("connect", () => { socket.destroy(); resolve(true); });
    socket.once("error", () => resolve(false));
  });
}

async function startCompanion(port) {
  const [program, args] = command(["--headless", "--port", String(port)]);
  const child = spawn(program, args, {
    env: { ...process.env, PERCHKIN_PORT: String(port) },
    stdio: ["ignore", "ignore", "inherit"],
  });
  for (let i = 0; i < 600; ++i) {
    if (await canConnect(port)) return child;
    await new Promise((r) => setTimeout(r, 50));
  }
  child.kill();
  throw new Error("the headless companion did not open its port");
}

// Asks the companion to quit over its port (a plain kill may leave a Wine process behind).
function stopCompanion(port, child) {
  return new Promise((resolve) => {
    const socket = net.connect(port, "127.0.0.1", () => socket.write('{"cmd":"quit"}\n'));
    const done = () => { socket.destroy(); resolve(); };
    socket.once("data", done);
    socket.once("error", () => { child.kill(); done(); });
    child.once("exit", done);
    setTimeout(() => { child.kill(); done(); }, 5000);
  });
}

async function connect(port) {
  const client = new Client({ name: "perchkin-e2e", version: "1.0.0" });
  const [program, args] = command(["--mcp"]);
  const transport = new StdioClientTransport({
    command: program,
    args,
    env: { ...process.env, PERCHKIN_PORT: String(port) },
    stderr: "inherit",
  });
  await client.connect(transport);
  return client;
}

function textOf(result) {
  assert.equal(result.content.length, 1);
  assert.equal(result.content[0].type, "text");
  return result.content[0].text;
}

let failures = 0;
async function check(name, body) {
  try {
    await body();
    console.log(`ok   ${name}`);
  } catch (error) {
    ++failures;
    console.log(`FAIL ${name}: ${error.message}`);
  }
}

// A companion that ended says why ("buddy did not start: {its first error line} (exit code n)").
const unreachable = /^(buddy did not start; try running perchkin(\.exe)?|buddy did not start: .+ \(exit code \d+\)|buddy not reachable: .*)$/;

async function withCompanion() {
  const port = await freePort();
  const companion = await startCompanion(port);
  const client = await connect(port);
  try {
    await check("initialize names the server", async () => {
      assert.deepEqual(client.getServerVersion(), { name: "perchkin", version: "0.10.0" });
      assert.ok(client.getServerCapabilities().tools);
    });
    await check("nine tools, id on all but status", async () => {
      const { tools } = await client.listTools();
      assert.deepEqual(tools.map((t) => t.name),
        ["say", "walk", "act", "leap", "draw", "turtle", "fx", "crew", "status"]);
      for (const tool of tools) {
        assert.equal(tool.inputSchema.type, "object");
        assert.ok(Array.isArray(tool.inputSchema.required), tool.name);
        assert.equal("id" in (tool.inputSchema.properties ?? {}), tool.name !== "status", tool.name);
      }
    });
    await check("ping", async () => { await client.ping(); });

    const expectations = [
      ["say", { text: "hello from the test" }, /^said$/],
      ["walk", { to: "left" }, /^walking to x=-?\d+$/],
      ["act", { action: "wave" }, /^(ok|queued until he lands)$/],
      ["leap", { x: 300, y: 200 }, /^leaping to 300,200$/],
      ["fx", { kind: "confetti" }, /^confetti$/],
      ["crew", { add: 2 }, /^3 buddies, ids 0,1,2$/],
    ];
    for (const [name, args, expected] of expectations) {
      await check(`${name} ${JSON.stringify(args)}`, async () => {
        const result = await client.callTool({ name, arguments: args });
        assert.match(textOf(result), expected);
        assert.equal(result.isError, false);
      });
    }
    await check("status reports the crew", async () => {
      const result = await client.callTool({ name: "status", arguments: {} });
      assert.equal(result.isError, false);
      const status = JSON.parse(textOf(result));
      assert.equal(status.buddies.length, 3);
      assert.equal(status.screen.length, 4);
    });
    await check("a companion failure comes back as a tool error", async () => {
      const result = await client.callTool({ name: "say", arguments: { text: "x", id: 99 } });
      assert.equal(result.isError, true);
      assert.match(textOf(result), /^no buddy with id 99/);
    });
    for (const [name, args] of [["draw", { kind: "heart", pts: [[100, 100], [140, 140]] }],
                                ["turtle", { prog: "repeat 4 [fd 50 rt 90]" }]]) {
      await check(`${name} reaches the companion`, async () => {
        const text = textOf(await client.callTool({ name, arguments: args }));
        assert.doesNotMatch(text, unreachable);
      });
    }
    await check("quit is not a tool", async () => {
      const result = await client.callTool({ name: "quit", arguments: {} });
      assert.equal(result.isError, true);
      assert.equal(textOf(result), "unknown tool: quit");
    });
  } finally {
    await client.close();
    await stopCompanion(port, companion);
  }
}

async function withoutCompanion() {
  const port = await freePort();
  const client = await connect(port);
  try {
    await check("no companion: the call fails as a tool result", async () => {
      const started = Date.now();
      const result = await client.callTool({ name: "say", arguments: { text: "anyone?" } },
        undefined, { timeout: 30000 });
      assert.equal(result.isError, true);
      assert.match(textOf(result), unreachable);
      console.log(`     (${textOf(result)} after ${Date.now() - started} ms)`);
      assert.ok(Date.now() - started < 20000, "gave up in time");
    });
  } finally {
    await client.close();
  }
  // The companion it may have started must not keep the port.
  if (await canConnect(port)) console.log("note: a companion started by the server is still running on port " + port);
}

await withCompanion();
await withoutCompanion();
console.log(failures ? `${failures} check(s) failed` : "all checks passed");
process.exit(failures ? 1 : 0);
