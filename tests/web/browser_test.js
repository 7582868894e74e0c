// The browser build in Chromium headless (SwiftShader's WebGL 2), driven through
// puppeteer-core: one table of page addresses, each with what its run must give (a
// case with `start` drives the page first: live play).
// Run by tests/web/run.sh, which serves build-web/site and renders the native shots:
//   node browser_test.js --url URL --native DIR --out DIR --times T1,T2 --width W --height H
"use strict";
const fs = require("fs");
const path = require("path");
const puppeteer = require("puppeteer-core");

const options = {url: "", native: "", out: "", times: "", width: "640", height: "360", minPsnr: "30"};
for (let i = 2; i + 1 < process.argv.length; i += 2) {
    options[process.argv[i].replace(/^--/, "").replace(/-(.)/g, (m, c) => c.toUpperCase())] = process.argv[i + 1];
}
const minutes = 60 * 1000;

// The file name `coredemo --shot` gives a time ("shot-45.png", "shot-18.5.png").
function shotName(time) {
    return "shot-" + String(Number(time)) + ".png";
}

// PSNR of the RGB channels of two PNG data URLs, decoded by the page (99 when equal).
async function psnr(page, a, b) {
    return page.evaluate(async (a, b) => {
        const pixels = async (url) => {
            const image = new Image();
            image.src = url;
            await image.decode();
            const canvas = document.createElement("canvas");
            canvas.width = image.width;
            canvas.height = image.height;
            const context = canvas.getContext("2d", {willReadFrequently: true});
            context.drawImage(image, 0, 0);
            return context.getImageData(0, 0, canvas.width, canvas.height);
        };
        const x = await pixels(a);
        const y = await pixels(b);
        if (x.width !== y.width || x.height !== y.height) {
            return {error: `sizes differ: ${x.width}x${x.height} and ${y.width}x${y.height}`};
        }
        let sum = 0;
        for (let i = 0; i < x.data.length; i += 4) {
            for (let c = 0; c < 3; ++c) {
                const d = x.data[i + c] - y.data[i + c];
                sum += d * d;
            }
        }
        const mse = sum / (x.width * x.height * 3);
        return {psnr: mse === 0 ? 99 : 10 * Math.log10((255 * 255) / mse)};
    }, a, b);
}

const times = options.times.split(",").filter((t) => t !== "");
const cases = [
    {
        name: "shots",
        query: `?shot=${times.join(",")}&width=${options.width}&height=${options.height}`,
        code: 0,
        async check(page, result, failures) {
            const shots = await page.evaluate(() => window.coreShots || {});
            for (const time of times) {
                const name = shotName(time);
                if (!shots[name]) {
                    failures.push(`no ${name} from the page`);
                    continue;
                }
                fs.writeFileSync(path.join(options.out, name), Buffer.from(shots[name].split(",")[1], "base64"));
                const native = "data:image/png;base64," +
                    fs.readFileSync(path.join(options.native, name)).toString("base64");
                const measured = await psnr(page, shots[name], native);
                const text = measured.error || `${measured.psnr.toFixed(1)} dB`;
                console.log(`  ${name}: ${text} against the native ES shot`);
                if (measured.error || measured.psnr < Number(options.minPsnr)) {
                    failures.push(`${name}: ${text} (at least ${options.minPsnr} dB wanted)`);
                }
            }
        },
    },
    {
        name: "live play",
        query: "",
        code: 0,
        // Start at 640 x 360 without antialiasing, 10 s of play with the music measured
        // through an analyser on the audio output, then Escape back to the start screen.
        async start(page) {
            await page.select("#size", "640x360");
            await page.select("#quality", "fast");
            await page.click("#startButton");
            await page.waitForFunction(() => window.coreTimings && window.coreTimings.firstFrame,
                                       {timeout: 10 * minutes, polling: 200});
            const play = await page.evaluate(async (seconds) => {
                const sdl = window.coreModule.SDL2;
                const context = sdl && sdl.audioContext;
                if (!context || !sdl.audio || !sdl.audio.scriptProcessorNode) {
                    return {error: "no audio output"};
                }
                const analyser = context.createAnalyser();
                sdl.audio.scriptProcessorNode.connect(analyser);
                const bins = new Uint8Array(analyser.frequencyBinCount);
                let frames = 0;
                let loudest = 0;
                const begin = performance.now();
                await new Promise((resolve) => {
                    const tick = (now) => {
                        ++frames;
                        analyser.getByteFrequencyData(bins);
                        loudest = Math.max(loudest, ...bins);
                        if (now - begin < seconds * 1000) {
                            requestAnimationFrame(tick);
                        } else {
                            resolve();
                        }
                    };
                    requestAnimationFrame(tick);
                });
                return {state: context.state, loudest, fps: frames / ((performance.now() - begin) / 1000)};
            }, 10);
            await page.keyboard.press("Escape");
            return play;
        },
        async check(page, result, failures, play) {
            const t = result.timings;
            console.log(`  start-up: archive at ${t.archiveFetched - t.start} ms, loading bar at ` +
                        `${t.loopStarted - t.start} ms, first frame at ${t.firstFrame - t.start} ms after Start; ` +
                        `${play.fps ? play.fps.toFixed(1) : "?"} frames a second`);
            if (play.error || play.state !== "running" || !(play.loudest > 0)) {
                failures.push(`audio: ${play.error || `context ${play.state}, loudest bin ${play.loudest}`}`);
            }
            const back = await page.evaluate(() => !document.getElementById("start").hidden);
            if (!back) {
                failures.push("Escape did not return to the start screen");
            }
        },
    },
    {name: "missing archive", query: "?shot=1&data=no-such-file.zip", code: 1, message: "Data file not found."},
    {name: "broken archive", query: "?shot=1&data=page.css", code: 1, message: "Data file not found."},
];

async function runCase(browser, c) {
    const page = await browser.newPage();
    const errors = [];
    page.on("pageerror", (error) => errors.push(String(error)));
    // A run that must succeed prints no errors (the expected failures print theirs).
    page.on("console", (message) => {
        if (c.code === 0 && message.type() === "error") {
            errors.push(message.text());
        }
    });
    const started = Date.now();
    await page.goto(options.url + c.query);
    const extra = c.start ? await c.start(page) : null;
    await page.waitForFunction(() => window.coreResult, {timeout: 20 * minutes, polling: 500});
    const result = await page.evaluate(() => window.coreResult);
    const failures = errors.map((e) => "page error: " + e);
    if (result.code !== c.code) {
        failures.push(`exit code ${result.code}, ${c.code} wanted`);
    }
    if (c.message) {
        const shown = await page.evaluate(() => document.getElementById("messages").textContent);
        if (!shown.includes(c.message)) {
            failures.push(`the page shows "${shown}", not "${c.message}"`);
        }
    }
    if (c.check) {
        await c.check(page, result, failures, extra);
    }
    const t = result.timings || {};
    console.log(`${failures.length ? "FAIL" : "ok  "} ${c.name} (${((Date.now() - started) / 1000).toFixed(1)} s;` +
                ` main called at ${t.mainCalled} ms, ended at ${t.ended} ms)`);
    for (const failure of failures) {
        console.log("     " + failure);
    }
    await page.close();
    return failures.length === 0;
}

(async () => {
    fs.mkdirSync(options.out, {recursive: true});
    const browser = await puppeteer.launch({
        executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
        headless: true,
        protocolTimeout: 30 * minutes,
        args: ["--headless=new", "--use-angle=swiftshader", "--enable-unsafe-swiftshader", "--no-sandbox",
               "--autoplay-policy=no-user-gesture-required"],
    });
    let passed = 0;
    for (const c of cases) {
        passed += (await runCase(browser, c)) ? 1 : 0;
    }
    await browser.close();
    console.log(`${passed} of ${cases.length} passed`);
    process.exit(passed === cases.length ? 0 : 1);
})().catch((error) => {
    console.error(error);
    process.exit(1);
});
