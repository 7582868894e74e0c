// The page around the program (coredemo.js + coredemo.wasm): the start screen, the
// archive's download, one module instance per run, and the shot mode for tests.
//
// Address parameters:
//   shot=T[,T2...]      render the frames at these demo times as `coredemo --shot` does and
//                       expose them as PNG data URLs: window.coreShots (by file name),
//                       window.coreShot (the first); window.coreResult when done
//   width=W, height=H   the shot's picture size (640 x 360 by default)
//   data=URL            the archive to load (data.zip by default)
// window.coreResult = {code, messages, timings} once a run has ended; window.coreTimings
// holds the moments (ms since navigation) of the run going on, window.coreModule its
// module instance.
"use strict";
(function () {
    const params = new URLSearchParams(location.search);
    const $ = (id) => document.getElementById(id);
    const dataUrl = params.get("data") || "data.zip";
    let archive = null;  // the archive's bytes, kept for the next run
    let running = false;
    const messages = [];
    const timings = {};
    window.coreTimings = timings;

    function mark(name) {
        timings[name] = Math.round(performance.now());
    }

    function showMessage(caption, text, icon) {
        messages.push({caption, text, icon});
        const p = document.createElement("p");
        p.className = ["error", "warning", "information"][icon] || "error";
        p.textContent = caption + ": " + text;
        $("messages").appendChild(p);
    }

    function setProgress(fraction, text) {
        $("progress").hidden = false;
        $("progressFill").style.width = Math.round(Math.min(1, fraction) * 100) + "%";
        $("progressText").textContent = text;
    }

    // The archive's bytes, or null when it cannot be fetched (the program then says
    // that its data file is missing). Reports the bytes received.
    async function fetchArchive(progress) {
        let response;
        try {
            response = await fetch(dataUrl);
        } catch (e) {
            return null;
        }
        if (!response.ok || !response.body) {
            return null;
        }
        const total = Number(response.headers.get("Content-Length")) || 0;
        const reader = response.body.getReader();
        const chunks = [];
        let received = 0;
        for (;;) {
            const {done, value} = await reader.read();
            if (done) {
                break;
            }
            chunks.push(value);
            received += value.length;
            progress(received, total);
        }
        const bytes = new Uint8Array(received);
        let at = 0;
        for (const chunk of chunks) {
            bytes.set(chunk, at);
            at += chunk.length;
        }
        return bytes;
    }

    // A new canvas for each run: a WebGL context keeps the attributes it was made with.
    function freshCanvas() {
        const old = $("canvas");
        const canvas = document.createElement("canvas");
        canvas.id = "canvas";
        canvas.tabIndex = 0;
        canvas.addEventListener("contextmenu", (e) => e.preventDefault());
        old.replaceWith(canvas);
        return canvas;
    }

    // Runs the program with `args` in a module instance of its own; `ended(code, module)`
    // once it has finished (returned from main, or its main loop ended).
    async function runProgram(args, ended) {
        const canvas = freshCanvas();
        let looping = false;
        let done = false;
        const finish = (code, module) => {
            if (!done) {
                done = true;
                ended(code, module);
            }
        };
        let module = null;
        module = await createCoreModule({
            canvas,
            print: (text) => console.log(text),
            printErr: (text) => console.error(text),
            onCoreMessage: showMessage,
            onCoreLoop: () => {
                looping = true;
                mark("loopStarted");
            },
            onCoreStarted: () => {
                mark("startedUp");
                requestAnimationFrame(() => mark("firstFrame"));
            },
            onCoreExit: (code) => setTimeout(() => finish(code, module), 0),
        });
        window.coreModule = module;  // for tests and the console
        if (archive) {
            module.FS.writeFile("/data.zip", archive);
        }
        mark("mainCalled");
        const code = module.callMain(args);
        if (!looping) {
            finish(code, module);
        }
    }

    function base64(bytes) {
        let text = "";
        for (let i = 0; i < bytes.length; i += 0x8000) {
            text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
        }
        return btoa(text);
    }

    async function runShots() {
        $("start").hidden = true;
        $("stage").hidden = false;
        const width = String(Number(params.get("width")) || 640);
        const height = String(Number(params.get("height")) || 360);
        mark("start");
        archive = await fetchArchive(() => {});
        mark("archiveFetched");
        const args = ["--gl", "es", "--data", "/data.zip", "--shot", params.get("shot"), "--out", "/shots",
                      "--width", width, "--height", height];
        await runProgram(args, (code, module) => {
            const shots = {};
            let names = [];
            try {
                names = module.FS.readdir("/shots").filter((name) => name.endsWith(".png")).sort();
            } catch (e) {
                names = [];
            }
            for (const name of names) {
                shots[name] = "data:image/png;base64," + base64(module.FS.readFile("/shots/" + name));
            }
            window.coreShots = shots;
            window.coreShot = names.length ? shots[names[0]] : null;
            mark("ended");
            window.coreResult = {code, messages, timings};
            if (names.length === 0) {
                $("stage").hidden = true;
                $("start").hidden = false;
            }
        });
    }

    // The picture size the start screen asks for.
    function pictureSize() {
        const value = $("size").value;
        if (value === "fit") {
            return [Math.max(320, window.innerWidth), Math.max(180, window.innerHeight)];
        }
        return value.split("x").map(Number);
    }

    function toggleFullscreen() {
        if (document.fullscreenElement) {
            document.exitFullscreen();
        } else if (!$("stage").hidden) {
            $("stage").requestFullscreen().catch(() => {});
        }
    }

    async function play() {
        if (running) {
            return;
        }
        running = true;
        $("startButton").disabled = true;
        $("messages").textContent = "";
        messages.length = 0;
        for (const key of Object.keys(timings)) {
            delete timings[key];
        }
        mark("start");
        if (!archive) {
            setProgress(0, "Loading data.zip ...");
            archive = await fetchArchive((received, total) => {
                const mb = (n) => (n / 1048576).toFixed(1);
                setProgress(total ? received / total : 0,
                            "Loading data.zip: " + mb(received) + (total ? " of " + mb(total) : "") + " MB");
            });
            mark("archiveFetched");
        }
        $("progress").hidden = true;
        const [width, height] = pictureSize();
        const fast = $("quality").value === "fast";
        const args = ["--gl", "es", "--data", "/data.zip", "--no-dialog", "--windowed",
                      "--width", String(width), "--height", String(height),
                      "--aa", fast ? "0" : "4", "--aniso", fast ? "1" : "16"];
        if (!$("sound").checked) {
            args.push("--output", "none");
        }
        $("start").hidden = true;
        $("stage").hidden = false;
        await runProgram(args, (code) => {
            mark("ended");
            window.coreResult = {code, messages: messages.slice(), timings: Object.assign({}, timings)};
            if (document.fullscreenElement) {
                document.exitFullscreen().catch(() => {});
            }
            $("stage").hidden = true;
            $("start").hidden = false;
            $("startButton").disabled = false;
            running = false;
        });
        $("canvas").focus();
    }

    $("settings").addEventListener("submit", (e) => {
        e.preventDefault();
        play().catch((error) => {
            showMessage("page", String(error), 0);
            running = false;
            $("startButton").disabled = false;
        });
    });
    $("fullscreenButton").addEventListener("click", toggleFullscreen);
    window.addEventListener("keydown", (e) => {
        if ((e.key === "f" || e.key === "F") && !$("stage").hidden) {
            toggleFullscreen();
        }
    }, true);

    if (params.has("shot")) {
        runShots().catch((error) => {
            showMessage("page", String(error), 0);
            window.coreResult = {code: -1, messages, timings};
        });
    }
})();
